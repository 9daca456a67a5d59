// kivo web: shows the summary that the server pushes over /api/eventos. Every text
// that comes from a record is inserted with textContent, never as HTML.
'use strict';

(function () {
  const HUMORES = ['dormindo', 'acordado', 'acenando', 'trabalhando', 'atencao', 'comemorando', 'erro'];
  const DESCRICAO = {
    dormindo: 'Mascote dormindo',
    acordado: 'Mascote acordado',
    acenando: 'Mascote acenando',
    trabalhando: 'Mascote trabalhando',
    atencao: 'Mascote chamando sua atenção',
    comemorando: 'Mascote comemorando',
    erro: 'Mascote com cara de erro',
  };
  const MARCA = { atencao: '!', trabalhando: '~', feito: '✓', erro: '✗', ocioso: '·' };
  const SAUDACAO_MS = 2000;
  const NOVIDADES_MAXIMAS = 20;

  const $ = (id) => document.getElementById(id);
  const mascote = $('mascote');
  const rosto = $('rosto');
  const frase = $('frase');
  const destaque = $('destaque');
  const lista = $('lista');
  const vazio = $('vazio');
  const novidades = $('novidades');
  const semNovidades = $('sem-novidades');
  const conexao = $('conexao');
  const icone = $('icone');
  const notificar = $('notificar');
  const custoTotal = $('custo-total');
  const ida = $('ida');

  const aberturaEm = Date.now();
  let ultimo = null;       // the latest summary
  let versaoVista = null;  // news count only after the first summary

  function elemento(tag, classe, texto) {
    const e = document.createElement(tag);
    if (classe) e.className = classe;
    if (texto !== undefined && texto !== null) e.textContent = String(texto);
    return e;
  }

  function mostrarHumor(humor, sentenca) {
    if (!HUMORES.includes(humor)) humor = 'acordado';
    const arquivo = '/rosto-' + humor + '.svg';
    if (rosto.getAttribute('src') !== arquivo) rosto.setAttribute('src', arquivo);
    rosto.alt = DESCRICAO[humor];
    rosto.dataset.humor = humor;
    mascote.className = 'mascote humor-' + humor;
    frase.textContent = sentenca;
    document.title = sentenca + ' — kivo';
    icone.setAttribute('href', arquivo);
  }

  // Brazilian money, as the panel writes it: "US$ 1.234,50".
  function emDolares(v) {
    const centavos = Math.round(v * 100);
    const inteiro = String(Math.floor(centavos / 100)).replace(/\B(?=(\d{3})+(?!\d))/g, '.');
    return 'US$ ' + inteiro + ',' + String(centavos % 100).padStart(2, '0');
  }

  // What the session's status line said: context as a small bar, model, cost.
  function consumo(s) {
    const partes = [];
    if (Number.isFinite(s.contexto)) {
      const texto = Math.round(s.contexto) + '%';
      const barra = elemento('meter', 'contexto');
      Object.assign(barra, { min: 0, max: 100, low: 70, high: 90, optimum: 0, value: s.contexto });
      barra.setAttribute('aria-label', 'Contexto: ' + texto);
      partes.push(barra, elemento('span', 'porcentagem', texto + ' do contexto'));
    }
    if (typeof s.modelo === 'string' && s.modelo) partes.push(elemento('span', 'modelo', s.modelo));
    if (Number.isFinite(s.custo)) partes.push(elemento('span', 'custo', emDolares(s.custo)));
    if (partes.length === 0) return null;
    const bloco = elemento('span', 'consumo');
    bloco.append(...partes);
    return bloco;
  }

  function desenharSessoes(r) {
    const itens = [];
    let total = 0;
    let algumCusto = false;
    for (const s of r.sessoes) {
      const li = elemento('li', 'estado-' + s.estado);
      if (s.id === r.destaque) li.classList.add('destacada');
      li.dataset.id = s.id;
      li.append(elemento('span', 'marca-estado', MARCA[s.estado] || '·'));
      li.lastChild.setAttribute('aria-hidden', 'true');
      li.append(elemento('span', 'nome', s.nome));
      li.append(document.createTextNode(' — '));
      li.append(elemento('span', 'situacao', s.situacao));
      if (s.ha) li.append(elemento('span', 'quando', ' · ' + s.ha));
      if (s.processoEncerrado) li.append(elemento('span', 'encerrado', ' (processo encerrado)'));
      const c = consumo(s);
      if (c) li.append(c);
      const botao = elemento('button', 'ir', 'Ir para o agente');
      botao.type = 'button';
      botao.setAttribute('aria-label', 'Ir para o agente: ' + s.nome);
      botao.addEventListener('click', () => irPara(s.id));
      li.append(botao);
      if (Number.isFinite(s.custo)) {
        total += s.custo;
        algumCusto = true;
      }
      itens.push(li);
    }
    lista.replaceChildren(...itens);
    vazio.hidden = itens.length > 0;
    custoTotal.hidden = !algumCusto;
    custoTotal.textContent = algumCusto ? emDolares(total) + ' nas sessões abertas' : '';
    const d = r.sessoes.find((s) => s.id === r.destaque);
    destaque.hidden = !d;
    destaque.textContent = d ? d.nome + ' — ' + d.situacao : '';
  }

  // Moves the tmux client used last to the session's agent; says where it went, or
  // where the agent is when it could not.
  function irPara(id) {
    ida.textContent = 'Indo…';
    fetch('/api/ir?s=' + encodeURIComponent(id), { method: 'POST' })
      .then((r) => r.json().catch(() => ({ mensagem: 'O kivo web recusou (' + r.status + ').' })))
      .then((r) => { ida.textContent = r.mensagem; })
      .catch(() => { ida.textContent = 'Sem conexão com o kivo web.'; });
  }

  function anunciar(n) {
    const li = elemento('li', 'novidade-' + n.caso);
    const agora = new Date();
    const hora = elemento('time', null, agora.toLocaleTimeString('pt-BR'));
    hora.dateTime = agora.toISOString();
    li.append(hora, elemento('span', null, n.titulo + ': ' + n.corpo));
    novidades.prepend(li);
    while (novidades.children.length > NOVIDADES_MAXIMAS) novidades.lastElementChild.remove();
    semNovidades.hidden = true;
    // The server says which news deserve a notice: not those of an agent you are
    // looking at, not a quick reply, none another view of kivo already gave.
    if (n.avisar !== false && 'Notification' in window && Notification.permission === 'granted') {
      try {
        new Notification(n.titulo, { body: n.corpo, tag: n.id + ':' + n.caso, icon: '/rosto-' + humorDaNovidade(n) + '.svg' });
      } catch (e) { /* some browsers only notify from a service worker */ }
    }
  }

  function humorDaNovidade(n) {
    return n.caso === 'chamou' ? 'atencao' : n.caso === 'errou' ? 'erro' : 'comemorando';
  }

  function aplicar() {
    if (!ultimo) return;
    if (Date.now() - aberturaEm < SAUDACAO_MS) return;  // still greeting
    mostrarHumor(ultimo.humor, ultimo.frase);
  }

  function receber(r) {
    if (!r || !Array.isArray(r.sessoes)) return;
    if (versaoVista !== null && r.versao > versaoVista && Array.isArray(r.novidades)) {
      r.novidades.forEach(anunciar);
    }
    versaoVista = r.versao;
    ultimo = r;
    desenharSessoes(r);
    aplicar();
    document.body.dataset.versao = String(r.versao);
  }

  function tratar(mensagem) {
    if (mensagem.tipo === 'conexao') {
      conexao.textContent = mensagem.aoVivo ? 'Ao vivo.' : 'Sem conexão com o kivo web; tentando de novo…';
    } else if (mensagem.tipo === 'resumo') {
      let r;
      try { r = JSON.parse(mensagem.dados); } catch (erro) { return; }
      receber(r);
    }
  }

  // Every tab shares one stream through a shared worker where there is one.
  function conectar() {
    if (window.SharedWorker) {
      try {
        const trabalhador = new SharedWorker('/fluxo.js', { name: 'kivo' });
        trabalhador.port.onmessage = (e) => tratar(e.data);
        trabalhador.port.start();
        addEventListener('pagehide', () => trabalhador.port.postMessage('fechar'));
        return;
      } catch (erro) { /* below: a stream of this tab's own */ }
    }
    const fonte = new EventSource('/api/eventos');
    fonte.onopen = () => tratar({ tipo: 'conexao', aoVivo: true });
    fonte.onmessage = (e) => tratar({ tipo: 'resumo', dados: e.data });
    fonte.onerror = () => {
      tratar({ tipo: 'conexao', aoVivo: false });
      if (fonte.readyState === EventSource.CLOSED) setTimeout(conectar, 5000);
    };
  }

  function prepararNotificacoes() {
    if (!('Notification' in window) || Notification.permission !== 'default') return;
    notificar.hidden = false;
    notificar.addEventListener('click', () => {
      Notification.requestPermission().then(() => {
        notificar.hidden = Notification.permission !== 'default';
      });
    });
  }

  // The token came in the address once; the cookie carries it from now on.
  if (location.search) history.replaceState(null, '', location.pathname);

  mostrarHumor('acenando', 'Oi!');
  setTimeout(aplicar, SAUDACAO_MS);
  prepararNotificacoes();
  conectar();
}());
