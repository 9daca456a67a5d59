// Speed and footprint of `kivo web` (run by bench/web.sh):
//  1. a record replaced in the folder -> its event at an event-stream client
//     (also from the start of a kivo_gancho run, which includes the hook itself);
//  2. a record replaced -> the page's list updated in headless chromium;
//  3. with 10 pages open: the server's CPU time over 10 idle seconds, and its RSS.
//
// node web.cjs KIVO GANCHO NODE_MODULES [RUNS]
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { agora, dormir, fmt, cpuDe, iniciarWeb, fluxoDeEventos } = require('./medidas.cjs');

const [kivo, gancho, modulos, vezesTexto] = process.argv.slice(2);
const VEZES = Number(vezesTexto || 40);
const puppeteer = require(path.resolve(modulos, 'puppeteer-core'));
const raiz = fs.mkdtempSync(path.join(os.tmpdir(), 'kivo-bench-web-'));
const pasta = path.join(raiz, 'sessoes');
fs.mkdirSync(pasta, { recursive: true });

// A record written the way the hook writes it: a temporary file, then a rename.
function gravar(id, titulo) {
  const t = Date.now() / 1000;
  const registro = { atualizado: t, cwd: '/home/ana/' + id, estado: 'trabalhando', id, mudouEstadoEm: t, titulo };
  const tmp = path.join(pasta, '.' + id + '.tmp');
  fs.writeFileSync(tmp, JSON.stringify(registro));
  const inicio = agora();
  fs.renameSync(tmp, path.join(pasta, id + '.json'));
  return inicio;
}

function memoriaDe(pid) {  // KiB: the whole RSS, and its private (anonymous) part
  const status = fs.readFileSync('/proc/' + pid + '/status', 'utf8');
  const campo = (nome) => Number(status.match(new RegExp(nome + ':\\s+(\\d+)'))[1]);
  const pss = Number(fs.readFileSync('/proc/' + pid + '/smaps_rollup', 'utf8').match(/Pss:\s+(\d+)/)[1]);
  return { rss: campo('VmRSS'), anonima: campo('RssAnon'), arquivos: campo('RssFile'), pss };
}

async function principal() {
  const { servidor, endereco } = await iniciarWeb(kivo, [], { ...process.env, KIVO_DIR: raiz });

  // 1. Event stream, straight from node.
  const fluxo = await fluxoDeEventos(endereco);
  const aguardar = fluxo.aguardar;
  const doRegistro = [];
  const doGancho = [];
  for (let i = 0; i < VEZES; i++) {
    const marca = 'r' + i + 'x';
    const chegou = aguardar(marca);
    const inicio = gravar('bench', marca);
    doRegistro.push((await chegou) - inicio);
    await dormir(20);
    const marcaGancho = 'g' + i + 'x';
    const chegouGancho = aguardar(marcaGancho);
    const inicioGancho = agora();
    const filho = spawn(gancho, [], { env: { ...process.env, KIVO_DIR: raiz } });
    filho.stdin.end(JSON.stringify({ hook_event_name: 'UserPromptSubmit', session_id: 'gancho', cwd: '/tmp/g', session_title: marcaGancho }));
    doGancho.push((await chegouGancho) - inicioGancho);
    await dormir(20);
  }
  fluxo.fechar();
  console.log('registro gravado -> evento no cliente do fluxo:        ' + fmt(doRegistro));
  console.log('kivo_gancho iniciado -> evento no cliente do fluxo:    ' + fmt(doGancho));

  // 2. The page in chromium.
  const perfil = fs.mkdtempSync(path.join(os.tmpdir(), 'kivo-bench-chromium-'));
  const navegador = await puppeteer.launch({
    executablePath: '/usr/bin/chromium', headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--user-data-dir=' + perfil],
  });
  try {
    const pagina = await navegador.newPage();
    await pagina.goto(endereco.url, { waitUntil: 'load' });
    await pagina.waitForFunction(() => document.body.dataset.versao);
    await pagina.evaluate(() => {
      window.marcas = {};
      new MutationObserver(() => {
        for (const e of document.querySelectorAll('#lista .nome')) {
          const m = e.textContent.match(/p\d+x/);
          if (m && !(m[0] in window.marcas)) window.marcas[m[0]] = performance.timeOrigin + performance.now();
        }
      }).observe(document.getElementById('lista'), { childList: true, subtree: true, characterData: true });
    });
    const naPagina = [];
    for (let i = 0; i < VEZES; i++) {
      const marca = 'p' + i + 'x';
      const inicio = gravar('bench', marca);
      await pagina.waitForFunction((m) => m in window.marcas, { polling: 'mutation' }, marca);
      naPagina.push((await pagina.evaluate((m) => window.marcas[m], marca)) - inicio);
      await dormir(20);
    }
    console.log('registro gravado -> lista atualizada no chromium:      ' + fmt(naPagina));

    // 3. Ten pages open, then nothing happens.
    for (let i = 1; i < 10; i++) {
      const outra = await navegador.newPage();
      await outra.goto(endereco.url.replace(/\?t=.*/, ''), { waitUntil: 'load' });
      await outra.waitForFunction(() => document.body.dataset.versao);
    }
    await dormir(3000);  // connections the browser no longer needs time out (2 s)
    const antes = cpuDe(servidor.pid);
    await dormir(10000);
    const depois = cpuDe(servidor.pid);
    const tique = 1000 / 100;  // ms per clock tick (USER_HZ)
    const m = memoriaDe(servidor.pid);
    const mib = (k) => (k / 1024).toFixed(1) + ' MiB';
    console.log('10 páginas abertas, 10 s sem mudança: CPU do servidor ' + ((depois - antes) * tique) + ' ms');
    console.log('10 páginas abertas: RSS ' + mib(m.rss) + ' (memória própria ' + mib(m.anonima) +
      ', páginas de bibliotecas compartilhadas ' + mib(m.arquivos) + '); PSS ' + mib(m.pss));
  } finally {
    await navegador.close();
    fs.rmSync(perfil, { recursive: true, force: true });
  }
  servidor.kill('SIGTERM');
  await new Promise((r) => servidor.on('exit', r));
}

principal()
  .catch((e) => { console.error(e); process.exitCode = 1; })
  .finally(() => fs.rmSync(raiz, { recursive: true, force: true }));
