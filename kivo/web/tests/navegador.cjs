// kivo web in Debian's chromium, headless, driven by puppeteer-core; the context, model and cost
// of sessions with a status line; saves screenshots of the moods.
// node navegador.cjs KIVO GANCHO NODE_MODULES CAPTURAS: exit 0 when every check holds, 1 otherwise,
// 77 (skipped) without chromium or puppeteer-core.
'use strict';

const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [kivo, gancho, modulos, capturas] = process.argv.slice(2);
const CHROMIUM = '/usr/bin/chromium';
function pular(motivo) {
  console.log(motivo + ' (make test o instala): pulado');
  process.exit(77);
}
let puppeteer;
try {
  puppeteer = require(path.resolve(modulos, 'puppeteer-core'));
} catch (e) {
  pular('puppeteer-core não está em ' + modulos);
}
if (!fs.existsSync(CHROMIUM)) pular(CHROMIUM + ' não existe');

const raiz = fs.mkdtempSync(path.join(os.tmpdir(), 'kivo-navegador-'));
const ambiente = { ...process.env, KIVO_DIR: raiz, TMUX_TMPDIR: path.join(raiz, 'tmux') };
delete ambiente.TMUX;
fs.mkdirSync(ambiente.TMUX_TMPDIR);
let falhas = 0;
function conferir(condicao, rotulo) {
  console.log((condicao ? 'ok    ' : 'FALHOU') + '  ' + rotulo);
  if (!condicao) falhas++;
}

function evento(nome, sessao, extra, pid) {
  const entrada = JSON.stringify({ hook_event_name: nome, session_id: sessao, cwd: '/home/ana/' + sessao, ...extra });
  const r = spawnSync(gancho, [], { input: entrada, env: pid ? { ...ambiente, CLAUDE_PID: String(pid) } : ambiente });
  if (r.status !== 0) throw new Error('kivo_gancho saiu com ' + r.status);
}

const HOSTIL = '<img src=x onerror=alert(1)>';

// Claude Code's status-line object for a session, with its figures, through kivo linha.
const capturado = JSON.parse(fs.readFileSync(path.join(__dirname, '..', '..', 'tests', 'dados',
  'claude-code-2.1.197-statusline.json'), 'utf8'));
function linhaDeStatus(session_id, used_percentage, total_cost_usd) {
  const objeto = { ...capturado, session_id, context_window: { ...capturado.context_window, used_percentage }, cost: { total_cost_usd } };
  if (spawnSync(kivo, ['linha'], { input: JSON.stringify(objeto), env: ambiente }).status !== 0) throw new Error('kivo linha falhou');
}

// A private tmux server with a shell (session "um") and a stand-in agent, a child of
// its pane's shell (session "dois"), and a control-mode client on "um" as the user's
// terminal; null when tmux cannot start here.
function tmux(...args) {
  return spawnSync('tmux', ['-L', 'kivo', ...args], { env: ambiente, encoding: 'utf8' });
}
async function servidorTmux() {
  const pid = path.join(raiz, 'agente.pid');
  if (tmux('-f', '/dev/null', 'new-session', '-d', '-s', 'um', '-x', '80', '-y', '24', 'sh').status !== 0) return null;
  tmux('new-session', '-d', '-s', 'dois', '-x', '80', '-y', '24', "sh -c 'sleep 600 & echo $! > " + pid + "; wait'");
  const cliente = spawn('tmux', ['-L', 'kivo', '-C', 'attach', '-t', 'um'], { env: ambiente, stdio: ['pipe', 'ignore', 'ignore'] });
  const mostra = () => tmux('list-clients', '-F', '#{pane_id}').stdout.trim();
  const painel = (alvo) => tmux('display-message', '-p', '-t', alvo, '#{pane_id}').stdout.trim();
  for (let i = 0; i < 500 && (!fs.existsSync(pid) || !fs.readFileSync(pid, 'utf8').trim() || !mostra()); i++) {
    await new Promise((r) => setTimeout(r, 10));
  }
  evento('PermissionRequest', 'tmuxado', { tool_name: 'Bash' }, fs.readFileSync(pid, 'utf8').trim());
  return { cliente, mostra, shell: painel('um:0.0'), agente: painel('dois:0.0') };
}

// The button goes to the agent; a page of another origin (another port of 127.0.0.1, so
// the same site: the cookie is sent) is refused and the client stays.
async function botaoIr(navegador, page, base, t) {
  await page.waitForSelector('#lista li[data-id="tmuxado"] button.ir', { timeout: 5000 });
  await page.click('#lista li[data-id="tmuxado"] button.ir');
  const foi = await page.waitForFunction(() => document.getElementById('ida').textContent.startsWith('Fui para'),
    { timeout: 8000 }).then(() => true, () => false);
  conferir(foi && t.mostra() === t.agente, 'o botão leva o cliente do tmux ao agente: ' +
    (await page.$eval('#ida', (e) => e.textContent)));
  tmux('switch-client', '-t', t.shell);
  const alheio = require('http').createServer((req, res) => {
    res.setHeader('Content-Type', 'text/html');
    res.end('<script>fetch("' + base + '/api/ir?s=tmuxado", { method: "POST", mode: "no-cors", credentials: "include" })' +
      '.finally(() => { document.title = "feito"; });</script>');
  });
  await new Promise((r) => alheio.listen(0, '127.0.0.1', r));
  const outra = await navegador.newPage();
  const cdp = await outra.target().createCDPSession();
  await cdp.send('Network.enable');
  let comCookie = false;
  cdp.on('Network.requestWillBeSentExtraInfo', (e) => {
    const cookie = Object.entries(e.headers).find(([k]) => k.toLowerCase() === 'cookie');
    if (cookie && cookie[1].includes('kivo-' + new URL(base).port + '=')) comCookie = true;
  });
  const respostas = [];
  outra.on('response', (r) => { if (r.url().includes('/api/ir')) respostas.push(r.status()); });
  await outra.goto('http://127.0.0.1:' + alheio.address().port + '/', { waitUntil: 'load' });
  await outra.waitForFunction(() => document.title === 'feito', { timeout: 5000 });
  conferir(comCookie && t.mostra() === t.shell, 'outra origem, com o cookie enviado, não move o cliente' +
    ' (cookie: ' + comCookie + ', respostas: ' + respostas.join(', ') + ')');
  await outra.close();
  alheio.close();
}

async function principal() {
  fs.mkdirSync(capturas, { recursive: true });
  evento('UserPromptSubmit', 'loja', { session_title: HOSTIL, prompt: 'conserte o carrinho' });
  evento('Stop', 'api-pagamentos', { last_assistant_message: 'Pronto: testes passando' });
  evento('SessionStart', 'docs', {});
  const t = await servidorTmux();

  const servidor = spawn(kivo, ['web'], { env: ambiente, stdio: ['ignore', 'pipe', 'inherit'] });
  const endereco = await new Promise((resolve, reject) => {
    let texto = '';
    servidor.stdout.on('data', (d) => {
      texto += d;
      const m = texto.match(/http:\/\/127\.0\.0\.1:\d+\/\?t=[0-9a-f]+/);
      if (m) resolve(m[0]);
    });
    servidor.on('exit', (c) => reject(new Error('kivo web saiu com ' + c)));
  });
  const base = endereco.replace(/\/\?t=.*/, '');

  const perfil = fs.mkdtempSync(path.join(os.tmpdir(), 'kivo-chromium-'));
  const navegador = await puppeteer.launch({ executablePath: CHROMIUM, headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-sync',
      '--disable-background-networking', '--disable-component-update', '--user-data-dir=' + perfil] });
  try {
    const page = await navegador.newPage();
    await page.setViewport({ width: 1000, height: 760 });
    let alertas = 0;
    page.on('dialog', async (d) => { alertas++; await d.dismiss(); });
    // The address loses the token (without it: servidor_test's 403), the mascot greets.
    await page.goto(endereco, { waitUntil: 'load' });
    conferir(page.url() === base + '/', 'o token sai do endereço (' + page.url() + ')');
    const humor = () => page.$eval('#rosto', (e) => e.dataset.humor);
    conferir((await humor()) === 'acenando', 'acenando ao abrir');
    if (t) {
      await botaoIr(navegador, page, base, t);
      evento('SessionEnd', 'tmuxado', {});
    } else {
      console.log('o tmux não conseguiu iniciar um servidor aqui: o botão "Ir para o agente" não foi testado');
    }
    await page.waitForFunction(() => document.querySelectorAll('#lista li').length === 3, { timeout: 5000 });
    const ids = await page.$$eval('#lista li', (l) => l.map((e) => e.dataset.id));
    const resumo = await page.evaluate(() => fetch('/api/resumo').then((r) => r.json()));
    conferir(JSON.stringify(ids) === JSON.stringify(resumo.sessoes.map((s) => s.id)) && ids[0] === 'loja',
      'sessões na ordem de exibição: ' + ids.join(', '));
    const nomeLoja = await page.$eval('#lista li[data-id="loja"] .nome', (e) => e.textContent);
    conferir(nomeLoja === 'loja · ' + HOSTIL, 'título hostil como texto: ' + nomeLoja);
    conferir((await page.$$('img[src="x"]')).length === 0 && alertas === 0, 'título hostil não vira HTML');

    // Context, model and cost of the sessions with a status line, and their total.
    linhaDeStatus('loja', 92.4, 4.366);
    linhaDeStatus('api-pagamentos', 12, 0.5);
    const total = await page.waitForFunction(() => document.getElementById('custo-total').textContent ===
      'US$ 4,87 nas sessões abertas', { timeout: 5000 }).then(() => true, () => false);
    const consumo = await page.$$eval('#lista li', (l) => l.map((e) => e.dataset.id + ': ' +
      (e.querySelector('.consumo meter') || {}).value + ' ' + (e.querySelector('.consumo') || {}).textContent));
    conferir(consumo.join(' | ') === 'loja: 92.4 92% do contextoOpus 4.8 (1M context)US$ 4,37 | api-pagamentos: 12 ' +
      '12% do contextoOpus 4.8 (1M context)US$ 0,50 | docs: undefined undefined', 'consumo: ' + consumo.join(' | '));
    const membros = (await page.evaluate(() => fetch('/api/resumo').then((r) => r.json()))).sessoes
      .map((x) => [x.id, x.contexto, x.custo, x.modelo].join(' ')).join(' | ');
    conferir(total && membros === 'loja 92.4 4.366 Opus 4.8 (1M context) | api-pagamentos 12 0.5 Opus 4.8 (1M context) | docs   ',
      'custo total; /api/resumo: ' + membros);

    // Each mood through hook events, without reloading the page, noted as it appears (the
    // celebration lasts 4 s only: a busy machine may be slow to look).
    await page.evaluate(() => {
      window.semRecarga = true;
      window.humoresVistos = new Set();
      const rosto = document.getElementById('rosto');
      new MutationObserver(() => window.humoresVistos.add(rosto.dataset.humor))
        .observe(rosto, { attributes: true, attributeFilter: ['data-humor'] });
    });
    const passos = [
      ['trabalhando', null],
      ['atencao', () => evento('PermissionRequest', 'loja', { tool_name: 'Bash', tool_input: { command: 'make' } })],
      ['comemorando', () => evento('Stop', 'loja', { last_assistant_message: 'Carrinho consertado' })],
      ['acordado', null],  // 4 s later, with no new record
      ['erro', () => evento('StopFailure', 'docs', { error: 'rate_limit' })],
      ['dormindo', () => ['loja', 'api-pagamentos', 'docs'].forEach((s) => evento('SessionEnd', s, {}))],
    ];
    for (const [esperado, acao] of passos) {
      await page.evaluate(() => window.humoresVistos.clear());
      if (acao) acao();
      const visto = await page.waitForFunction((h) => window.humoresVistos.has(h) ||
        document.getElementById('rosto').dataset.humor === h, { timeout: 8000 }, esperado).then(() => true, () => false);
      // Its face decodes, whether still shown or already gone.
      const desenha = await page.evaluate(async (src) => {
        const i = new Image();
        i.src = src;
        await i.decode();
        return i.naturalWidth > 0;
      }, '/rosto-' + esperado + '.svg').catch(() => false);
      conferir(visto && desenha, esperado + ': mostrado e desenhado');
      const agora = await page.evaluate(() => ({ humor: document.getElementById('rosto').dataset.humor,
        src: document.getElementById('rosto').getAttribute('src'), titulo: document.title,
        icone: document.getElementById('icone').getAttribute('href'), frase: document.getElementById('frase').textContent }));
      if (agora.humor !== esperado) continue;
      conferir(agora.src === '/rosto-' + esperado + '.svg' && agora.icone === agora.src &&
        agora.titulo === agora.frase + ' — kivo', esperado + ': rosto, título e ícone da aba (' + agora.titulo + ')');
      await page.screenshot({ path: path.join(capturas, esperado + '.png') });
    }
    conferir(await page.evaluate(() => window.semRecarga === true), 'tudo sem recarregar a página');
    const avisos = await page.$$eval('#novidades li span', (l) => l.map((e) => e.textContent));
    conferir(avisos.some((t) => t.includes('precisa de você')) && avisos.some((t) => t.includes(' terminou')) &&
      avisos.some((t) => t.includes('parou com erro')), 'novidades anunciadas: ' + avisos.join(' | '));
    conferir(await page.$eval('#novidades', (e) => e.getAttribute('aria-live') === 'polite'), 'novidades com aria-live');
    const animacao = () => page.$eval('#rosto', (e) => getComputedStyle(e).animationName);
    const comMovimento = await animacao();
    await page.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
    const semMovimento = await animacao();
    conferir(comMovimento !== 'none' && semMovimento === 'none', 'animação parada sob prefers-reduced-motion');
    // 320 px wide without sideways scrolling, with a long title and a request on the page.
    evento('PermissionRequest', 'loja', { tool_name: 'Bash', tool_input: { command: 'make' } });
    evento('UserPromptSubmit', 'api-pagamentos', { session_title: 'Corrigir a fila de reembolsos' });
    await page.waitForFunction(() => document.getElementById('rosto').dataset.humor === 'atencao', { timeout: 8000 });
    await page.setViewport({ width: 320, height: 640 });
    conferir(await page.evaluate(() => document.documentElement.scrollWidth <= 320), '320 px sem rolagem lateral');
  } finally {
    await navegador.close();
    fs.rmSync(perfil, { recursive: true, force: true });
  }
  servidor.kill('SIGTERM');
  await new Promise((resolve) => servidor.on('exit', resolve));
}

principal()
  .catch((e) => { console.log('FALHOU  ' + (e && e.stack || e)); falhas++; })
  .finally(() => {
    tmux('kill-server');
    fs.rmSync(raiz, { recursive: true, force: true });
    console.log(falhas === 0 ? 'navegador: tudo certo' : 'navegador: ' + falhas + ' falha(s)');
    process.exit(falhas === 0 ? 0 : 1);
  });
