// kivo web under hostile clients (run by bench/web.sh, or alone):
//  1. 3 connections that flood headers (8 KB lines with no end, up to 100 MB per
//     connection, coming back when closed), then, from when they have sent those or
//     10 s passed, 200 more that trickle their request's head (half a byte a second,
//     half a header line a second; each one closed comes back): 20 requests with
//     the token, one after the other, timed from connect to the end of the answer; the
//     server's RSS before, at its highest during, and after;
//  2. a record of 50 MB (valid JSON, a 10 MB cwd, title and detail): the summary's
//     size and the server's RSS at its highest and after.
// Loopback only; every loop is bounded in count and time.
//
// node hostil.cjs KIVO
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const { performance } = require('perf_hooks');

const [kivo] = process.argv.slice(2);
const LENTOS = 200;
const ENCHENTES = 3;
const POR_ENCHENTE = 100 * 1024 * 1024;
const PEDIDOS = 20;
const ESPERA_MS = 5000;  // a request not answered by then counts as this, and as unanswered
const raiz = fs.mkdtempSync(path.join(os.tmpdir(), 'kivo-bench-hostil-'));
const pasta = path.join(raiz, 'sessoes');
fs.mkdirSync(pasta, { recursive: true });
const dormir = (ms) => new Promise((r) => setTimeout(r, ms));
const ordenado = (v) => [...v].sort((a, b) => a - b);
const mediana = (v) => ordenado(v)[Math.floor(v.length / 2)];
const p95 = (v) => ordenado(v)[Math.min(v.length - 1, Math.floor(v.length * 0.95))];
const mib = (k) => (k / 1024).toFixed(1) + ' MiB';
const rssDe = (pid) => {
  try { return Number(fs.readFileSync('/proc/' + pid + '/status', 'utf8').match(/VmRSS:\s+(\d+)/)[1]); } catch { return 0; }
};

// The highest RSS of `pid` while `corpo` runs, sampled every 20 ms.
async function picoDurante(pid, corpo) {
  let pico = rssDe(pid);
  const amostra = setInterval(() => { pico = Math.max(pico, rssDe(pid)); }, 20);
  try { await corpo(); } finally { clearInterval(amostra); }
  return Math.max(pico, rssDe(pid));
}

// One request with the token on a new connection: milliseconds to the end of the
// answer and its body, or null when none came in ESPERA_MS.
function pedir(endereco, alvo) {
  return new Promise((resolve) => {
    const inicio = performance.now();
    const s = net.connect(endereco.porta, '127.0.0.1');
    const partes = [];
    const fim = (ok, motivo) => {
      clearTimeout(relogio);
      s.destroy();
      resolve(ok ? { ms: performance.now() - inicio, texto: Buffer.concat(partes).toString() } : { motivo });
    };
    const relogio = setTimeout(() => fim(false, 'espera'), ESPERA_MS);
    s.on('connect', () => s.write('GET ' + alvo + ' HTTP/1.1\r\nHost: 127.0.0.1:' + endereco.porta + '\r\nCookie: kivo-' +
      endereco.porta + '=' + endereco.token + '\r\nConnection: close\r\n\r\n'));
    s.on('data', (d) => partes.push(d));
    s.on('end', () => fim(partes.length > 0, 'fechada'));
    s.on('error', (e) => fim(false, e.code));
  });
}

// The attackers: each comes back after its connection is closed, until parar().
function atacar(endereco) {
  let ativo = true;
  const soquetes = new Set();
  let enviado = 0;
  let reconexoes = 0;
  const cabeca = 'GET / HTTP/1.1\r\nHost: 127.0.0.1:' + endereco.porta + '\r\n';
  const abrir = (comecar, demora) => {
    if (!ativo) return;
    const s = net.connect(endereco.porta, '127.0.0.1');
    soquetes.add(s);
    s.on('error', () => {});
    s.on('close', () => {
      soquetes.delete(s);
      if (ativo) { reconexoes++; setTimeout(() => abrir(comecar, demora), demora); }
    });
    s.on('connect', () => comecar(s));
  };
  const linha = 'X-Enche: ' + 'a'.repeat(8192 - 12) + '\r\n';
  const cheias = new Set();
  for (let i = 0; i < ENCHENTES; i++) {
    abrir((s) => {
      s.write(cabeca);
      let meu = 0;
      const escrever = () => {
        while (ativo && !s.destroyed && meu < POR_ENCHENTE) {
          meu += linha.length;
          enviado += linha.length;
          if (!s.write(linha)) return s.once('drain', escrever);
        }
        if (meu >= POR_ENCHENTE) cheias.add(i);
      };
      escrever();
    }, 0);
  }
  const lentos = () => {
    for (let i = 0; i < LENTOS; i++) {
      abrir((s) => {
        s.write(cabeca);
        let n = 0;
        const passo = setInterval(() => {
          if (s.destroyed) return clearInterval(passo);
          s.write(i % 2 ? 'X-Lento-' + n++ + ': a\r\n' : 'x');
        }, 1000);
        s.on('close', () => clearInterval(passo));
      }, 50);
    }
  };
  return {
    // Once each flood has sent its 100 MB (or 10 s passed), the slow ones.
    async lentos() {
      for (let i = 0; i < 200 && cheias.size < ENCHENTES; i++) await dormir(50);
      lentos();
    },
    parar() { ativo = false; for (const s of soquetes) s.destroy(); },
    abertas: () => soquetes.size,
    enviado: () => enviado,
    reconexoes: () => reconexoes,
  };
}

async function principal() {
  const servidor = spawn(kivo, ['web'], { env: { ...process.env, KIVO_DIR: raiz }, stdio: ['ignore', 'pipe', 'inherit'] });
  const endereco = await new Promise((resolve) => {
    let texto = '';
    servidor.stdout.on('data', (d) => {
      texto += d;
      const m = texto.match(/http:\/\/127\.0\.0\.1:(\d+)\/\?t=([0-9a-f]+)/);
      if (m) resolve({ porta: Number(m[1]), token: m[2] });
    });
  });
  try {
    // 1. Hostile clients.
    const antes = rssDe(servidor.pid);
    const ataque = atacar(endereco);
    const tempos = [];
    let semResposta = 0;
    const motivos = [];
    const pico = await picoDurante(servidor.pid, async () => {
      await ataque.lentos();
      await dormir(2000);  // every attacker connected and sending
      for (let i = 0; i < PEDIDOS; i++) {
        const r = await pedir(endereco, '/api/resumo');
        const ok = r.texto && r.texto.startsWith('HTTP/1.1 200');
        if (!ok) { semResposta++; motivos.push(r.motivo || r.texto.slice(0, 12)); }
        tempos.push(ok ? r.ms : ESPERA_MS);
        await dormir(100);
      }
    });
    const abertas = ataque.abertas();
    ataque.parar();
    await dormir(2000);
    const depois = rssDe(servidor.pid);
    console.log(LENTOS + ' conexões lentas e ' + ENCHENTES + ' enchentes de cabeçalhos (' +
      (ataque.enviado() / 1048576).toFixed(0) + ' MiB enviados, ' + ataque.reconexoes() + ' reconexões, ' + abertas +
      ' conexões do ataque abertas no fim):');
    console.log('  pedido com a chave: mediana ' + mediana(tempos).toFixed(1) + ' ms, p95 ' + p95(tempos).toFixed(1) +
      ' ms (' + PEDIDOS + ' vezes, ' + semResposta + ' sem resposta em ' + ESPERA_MS / 1000 + ' s' + (motivos.length ? ': ' + motivos.join(', ') : '') + ')');
    console.log('  RSS do servidor: antes ' + mib(antes) + ', máximo durante ' + mib(pico) + ', 2 s depois ' + mib(depois));

    // 2. A record of 50 MB.
    const grande = 'x'.repeat(10 * 1024 * 1024);
    const t = Date.now() / 1000;
    const registro = { atualizado: t, cwd: '/home/ana/' + grande, detalhe: grande, estado: 'trabalhando', id: 'grande',
      mudouEstadoEm: t, titulo: grande, ultimaFerramenta: grande, ultimaMensagem: grande };
    let resumo = null;
    const picoGrande = await picoDurante(servidor.pid, async () => {
      const tmp = path.join(pasta, '.grande.tmp');
      fs.writeFileSync(tmp, JSON.stringify(registro));
      const tamanho = fs.statSync(tmp).size;
      fs.renameSync(tmp, path.join(pasta, 'grande.json'));
      for (let i = 0; i < 100 && !(resumo && resumo.texto && resumo.texto.includes('"grande"')); i++) {
        await dormir(100);
        resumo = await pedir(endereco, '/api/resumo');
      }
      resumo.tamanho = tamanho;
    });
    await dormir(1000);
    const corpo = resumo ? resumo.texto.slice(resumo.texto.indexOf('\r\n\r\n') + 4) : '';
    console.log('registro de ' + (resumo.tamanho / 1048576).toFixed(0) + ' MiB: resumo de ' + (corpo.length / 1024).toFixed(1) +
      ' KiB; RSS do servidor: máximo ' + mib(picoGrande) + ', 1 s depois ' + mib(rssDe(servidor.pid)));
  } finally {
    servidor.kill('SIGTERM');
    await new Promise((r) => servidor.on('exit', r));
  }
}

principal()
  .catch((e) => { console.error(e); process.exitCode = 1; })
  .finally(() => fs.rmSync(raiz, { recursive: true, force: true }));
