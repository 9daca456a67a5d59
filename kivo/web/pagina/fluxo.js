// kivo web: one event stream shared by every open tab of the page (a browser opens
// at most six connections to one server over HTTP/1.1, and each stream holds one).
// Hands each tab the latest summary as it joins, and every new one after.
'use strict';

const portas = new Set();
let fonte = null;
let ultimo = null;
let aoVivo = false;

function difundir(mensagem) {
  for (const p of portas) p.postMessage(mensagem);
}

function conectar() {
  fonte = new EventSource('/api/eventos');
  fonte.onopen = () => { aoVivo = true; difundir({ tipo: 'conexao', aoVivo }); };
  fonte.onmessage = (e) => { ultimo = e.data; difundir({ tipo: 'resumo', dados: e.data }); };
  fonte.onerror = () => {
    aoVivo = false;
    difundir({ tipo: 'conexao', aoVivo });
    // A refusal (503, 403) closes the stream for good: try again later ourselves.
    if (fonte.readyState === EventSource.CLOSED) setTimeout(conectar, 5000);
  };
}

onconnect = (evento) => {
  const porta = evento.ports[0];
  portas.add(porta);
  porta.onmessage = (m) => { if (m.data === 'fechar') portas.delete(porta); };
  porta.postMessage({ tipo: 'conexao', aoVivo });
  if (ultimo !== null) porta.postMessage({ tipo: 'resumo', dados: ultimo });
  if (!fonte) conectar();
};
