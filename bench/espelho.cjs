// Speed of the mirror over a real ssh (run by bench/espelho.sh, which starts the sshd):
//  1. a hook event over there (kivo_gancho with that side's KIVO_DIR, a PreToolUse) -> its change at
//     a client of the event stream of `kivo web --maquina HOST`;
//  2. with nothing changing: the CPU time, over 10 s, of kivo web, its `kivo espelhar`,
//     that one's ssh, and `kivo transmitir` over there;
//  3. the same event -> the mirror's file here, with `kivo espelhar HOST` alone.
//
// node espelho.cjs KIVO GANCHO DIR HOST SSHD_PID [RUNS]
//   DIR/remoto is the far side's KIVO_DIR; KIVO_SSH must reach HOST.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const path = require('path');
const { agora, dormir, fmt, cpuDe, iniciarWeb, fluxoDeEventos } = require('./medidas.cjs');

const [kivo, gancho, dir, maquina, sshdTexto, vezesTexto] = process.argv.slice(2);
const VEZES = Number(vezesTexto || 40);
const sshd = Number(sshdTexto);
const remoto = path.join(dir, 'remoto');
const kivoReal = fs.realpathSync(kivo);

function comPrazo(promessa, ms, oQue) {
  let relogio;
  const prazo = new Promise((_, rejeitar) => { relogio = setTimeout(() => rejeitar(new Error('nada em ' + ms + ' ms: ' + oQue)), ms); });
  return Promise.race([promessa, prazo]).finally(() => clearTimeout(relogio));
}

// A hook event over there, with the mark as the session's title: a prompt starts the
// session, then tool calls.
function eventoLa(marca, inicial) {
  const evento = { hook_event_name: inicial ? 'UserPromptSubmit' : 'PreToolUse', session_id: 'bench', cwd: '/srv/bench',
    tool_name: 'Bash', session_title: marca };
  const inicio = agora();
  const filho = spawn(gancho, [], { env: { PATH: process.env.PATH, KIVO_DIR: remoto }, stdio: ['pipe', 'ignore', 'inherit'] });
  filho.stdin.end(JSON.stringify(evento));
  return inicio;
}

async function medir(aguardar, prefixo) {
  const primeiro = aguardar(prefixo + 'Ax');
  eventoLa(prefixo + 'Ax', true);
  await comPrazo(primeiro, 30000, 'a primeira sessão de lá');
  const tempos = [];
  for (let i = 0; i < VEZES; i++) {
    const marca = prefixo + i + 'x';
    const chegou = aguardar(marca);
    const inicio = eventoLa(marca);
    tempos.push((await comPrazo(chegou, 10000, marca)) - inicio);
    await dormir(50);
  }
  return tempos;
}

// pid -> parent pid, for every process.
function pais() {
  const p = new Map();
  for (const n of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(n)) continue;
    try { p.set(Number(n), Number(fs.readFileSync('/proc/' + n + '/stat', 'utf8').split(') ')[1].split(' ')[1])); } catch { /* gone */ }
  }
  return p;
}
function descendentes(raiz) {
  const p = pais();
  const de = (pid) => { for (let q = p.get(pid); q; q = p.get(q)) if (q === raiz) return true; return false; };
  return [...p.keys()].filter(de);
}
const linha = (pid) => { try { return fs.readFileSync('/proc/' + pid + '/cmdline', 'utf8').split('\0'); } catch { return []; } };
const executavel = (pid) => { try { return fs.readlinkSync('/proc/' + pid + '/exe'); } catch { return ''; } };
const ehKivo = (pid, sub) => executavel(pid) === kivoReal && linha(pid).includes(sub);

async function principal() {
  const local = path.join(dir, 'local');
  for (const d of ['web', 'so']) fs.mkdirSync(path.join(local, d, 'sessoes'), { recursive: true });
  const { servidor, endereco } = await iniciarWeb(kivo, ['--maquina', maquina], { ...process.env, KIVO_DIR: path.join(local, 'web') });
  try {
    await comPagina(servidor, endereco);
  } finally {
    servidor.kill('SIGTERM');
    await new Promise((r) => (servidor.exitCode !== null ? r() : servidor.on('exit', r)));
  }
  await soEspelhar(path.join(local, 'so'));
}

async function comPagina(servidor, endereco) {
  const fluxo = await fluxoDeEventos(endereco);
  const naPagina = await medir(fluxo.aguardar, 'w');
  fluxo.fechar();
  console.log('evento do gancho lá -> evento no fluxo de kivo web:      ' + fmt(naPagina));

  await dormir(3000);
  const doWeb = descendentes(servidor.pid);
  const espelhar = doWeb.find((p) => ehKivo(p, 'espelhar'));
  const ssh = doWeb.find((p) => linha(p)[0] === 'ssh');
  const transmitir = descendentes(sshd).find((p) => ehKivo(p, 'transmitir'));
  const medidos = { 'kivo web': servidor.pid, 'kivo espelhar': espelhar, ssh, 'kivo transmitir (lá)': transmitir };
  for (const [nome, pid] of Object.entries(medidos)) if (!pid) throw new Error('não achei o processo ' + nome);
  const antes = Object.fromEntries(Object.entries(medidos).map(([n, p]) => [n, cpuDe(p)]));
  await dormir(10000);
  console.log('10 s sem mudança, CPU em tiques de 10 ms: ' +
    Object.entries(medidos).map(([n, p]) => n + ' ' + (cpuDe(p) - antes[n])).join(', '));
}

// The mirror's file alone.
async function soEspelhar(so) {
  const espelhos = path.join(so, 'espelhos');
  fs.mkdirSync(espelhos, { recursive: true, mode: 0o700 });
  const arquivo = path.join(espelhos, maquina + '.json');
  const filho = spawn(kivo, ['espelhar', maquina], { env: { ...process.env, KIVO_DIR: so }, stdio: ['ignore', 'ignore', 'inherit'] });
  let esperando = null;
  const olhar = () => {
    if (!esperando) return;
    let texto = '';
    try { texto = fs.readFileSync(arquivo, 'utf8'); } catch { return; }
    if (texto.includes(esperando.marca)) { esperando.fim(agora()); esperando = null; }
  };
  const vigia = fs.watch(espelhos, olhar);
  try {
    const noArquivo = await medir((marca) => new Promise((fim) => { esperando = { marca, fim }; olhar(); }), 'e');
    console.log('evento do gancho lá -> arquivo do espelho (só espelhar): ' + fmt(noArquivo));
  } finally {
    vigia.close();
    filho.kill('SIGTERM');
    await new Promise((r) => filho.on('exit', r));
  }
}

principal().catch((e) => { console.error(e); process.exitCode = 1; });
