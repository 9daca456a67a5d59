// What the node benchmarks share: the clock, medians, a process's CPU time, and
// `kivo web` started with its address and an event-stream client.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const { performance } = require('perf_hooks');

const agora = () => performance.timeOrigin + performance.now();
const dormir = (ms) => new Promise((r) => setTimeout(r, ms));
const mediana = (v) => { const o = [...v].sort((a, b) => a - b); return o[Math.floor(o.length / 2)]; };
const p95 = (v) => { const o = [...v].sort((a, b) => a - b); return o[Math.min(o.length - 1, Math.floor(o.length * 0.95))]; };
const fmt = (v) => 'mediana ' + mediana(v).toFixed(1) + ' ms, p95 ' + p95(v).toFixed(1) + ' ms (' + v.length + ' vezes)';

function cpuDe(pid) {  // utime + stime, in clock ticks
  const campos = fs.readFileSync('/proc/' + pid + '/stat', 'utf8').split(') ')[1].split(' ');
  return Number(campos[11]) + Number(campos[12]);
}

// `kivo web ARGS`; resolves once it has printed its address (with the run's token).
function iniciarWeb(kivo, args, env) {
  const servidor = spawn(kivo, ['web', ...args], { env, stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let texto = '';
    servidor.on('exit', (c) => reject(new Error('kivo web saiu (' + c + ') antes de dar o endereço')));
    servidor.stdout.on('data', (d) => {
      texto += d;
      const m = texto.match(/http:\/\/127\.0\.0\.1:(\d+)\/\?t=([0-9a-f]+)/);
      if (m) resolve({ servidor, endereco: { url: m[0], porta: Number(m[1]), token: m[2] } });
    });
  });
}

// A client of /api/eventos. aguardar(marca) resolves with the time the first piece of
// the stream holding `marca` arrived; fechar() ends the connection.
async function fluxoDeEventos(endereco) {
  let esperando = null;
  const pedido = http.get({
    host: '127.0.0.1', port: endereco.porta, path: '/api/eventos',
    headers: { Cookie: 'kivo-' + endereco.porta + '=' + endereco.token },
  });
  await new Promise((resolve, reject) => {
    pedido.on('error', reject);
    pedido.on('response', (r) => {
      r.setEncoding('utf8');
      r.on('data', (bloco) => { if (esperando && bloco.includes(esperando.marca)) { esperando.fim(agora()); esperando = null; } });
      resolve();
    });
  });
  return {
    aguardar: (marca) => new Promise((fim) => { esperando = { marca, fim }; }),
    fechar: () => pedido.destroy(),
  };
}

module.exports = { agora, dormir, mediana, p95, fmt, cpuDe, iniciarWeb, fluxoDeEventos };
