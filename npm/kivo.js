#!/usr/bin/env node
// kivo from npm: runs the native kivo of this machine's package (@kivocore/kivo-linux-x64 or
// -arm64, chosen by npm from their "os" and "cpu"), with the same arguments, input and
// output, and ends as it ends. Only this command goes through Node: `kivo instalar`
// registers the native kivo_gancho (and, with --linha, the native kivo) by their own paths.
'use strict';
const { spawn } = require('child_process');
const path = require('path');

const pacote = `@kivocore/kivo-${process.platform}-${process.arch}`;
let programa;
try {
  programa = path.join(path.dirname(require.resolve(`${pacote}/package.json`)), 'bin', 'kivo');
} catch {
  process.stderr.write(`kivo: falta o pacote ${pacote}, com os programas para esta máquina ` +
    `(${process.platform} ${process.arch}). Há pacotes para linux x64 e arm64; instale-os junto: ` +
    'npm install -g -O ./kivocore-kivo-*.tgz\n');
  process.exit(1);
}

const args = process.argv.slice(2);
if (typeof process.execve === 'function') {
  // Node 23.11 and later: this process becomes kivo.
  process.execve(programa, [programa, ...args], process.env);
}
const filho = spawn(programa, args, { stdio: 'inherit' });
// Ctrl-C and the like reach kivo from the terminal too: kivo decides, this process waits.
for (const sinal of ['SIGINT', 'SIGQUIT', 'SIGTERM', 'SIGHUP']) {
  process.on(sinal, () => { if (sinal !== 'SIGINT' && sinal !== 'SIGQUIT') filho.kill(sinal); });
}
filho.on('error', (erro) => {
  process.stderr.write(`kivo: não consegui iniciar ${programa}: ${erro.message}\n`);
  process.exit(1);
});
filho.on('exit', (status, sinal) => {
  if (sinal) {
    process.removeAllListeners(sinal);
    process.kill(process.pid, sinal);
  }
  process.exit(status === null ? 1 : status);
});
