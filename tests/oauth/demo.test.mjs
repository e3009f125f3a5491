// scripts/demo started and stopped several times in a row, as a new user would: it must come up
// every time, and a TERM or a Ctrl-C must stop both servers and remove its temporary folder (which
// holds the client file).
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { buildDir } from './tools.mjs';

const demo = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../scripts/demo');
const startLimitMs = 60_000;
const stopLimitMs = 10_000;

function listening(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => resolve(socket.end() && true));
    socket.once('error', () => resolve(false));
  });
}

function withLimit(promise, ms, what) {
  let timer;
  const limit = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(`${what} took longer than ${ms} ms`)), ms);
  });
  return Promise.race([promise, limit]).finally(() => clearTimeout(timer));
}

// Everything the demo creates lives in here, and its stand-in's command line names it.
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-demo-test-'));
process.on('exit', () => fs.rmSync(scratch, { recursive: true, force: true }));
const env = { ...process.env, LUMENHOLLOW_BUILD_DIR: buildDir, TMPDIR: scratch };

function assertNothingLeft(what) {
  assert.deepEqual(fs.readdirSync(scratch), [], `${what} left files`);
  const processes = execFileSync('ps', ['-eo', 'args'], { encoding: 'utf8' });
  assert.ok(!processes.includes(scratch), `${what} left processes:\n${processes}`);
}

// Starts the demo and resolves with what its banner names once it is up.
async function startDemo() {
  const child = spawn(demo, [], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  const exited = new Promise((resolve) => child.once('exit', (code, signal) => resolve({ code, signal })));
  let output = '';
  child.stderr.on('data', (chunk) => {
    output += chunk;
  });
  const banner = {};
  const up = new Promise((resolve, reject) => {
    readline.createInterface({ input: child.stdout }).on('line', (line) => {
      output += `${line}\n`;
      const [, key, value] = line.match(/^\s+(open|Google|home)\s+(\S+)/) ?? [];
      if (key) banner[key] = value;
      if (key === 'home') resolve();
    });
    exited.then(() => reject(new Error(`the demo ended before it was up:\n${output}`)));
  });
  try {
    await withLimit(up, startLimitMs, 'starting the demo');
  } catch (error) {
    child.kill('SIGKILL');
    throw error;
  }
  return { child, exited, banner, output: () => output };
}

test('the demo starts and stops cleanly several times in a row', async () => {
  for (const signal of ['SIGTERM', 'SIGINT', 'SIGTERM', 'SIGINT']) {
    const { child, exited, banner, output } = await startDemo();
    const consolePort = Number(new URL(banner.open).port);
    const standinPort = Number(new URL(banner.Google).port);
    const response = await fetch(banner.open);
    assert.equal(response.status, 200, output());
    assert.ok(fs.existsSync(path.join(banner.home, '.config/google-accounts/lumenhollow_client.json')));

    child.kill(signal);
    const { code } = await withLimit(exited, stopLimitMs, `stopping the demo with ${signal}`);
    assert.equal(code, 0, output());
    assertNothingLeft(signal);
    assert.equal(await listening(consolePort), false, `${signal} left lighttpd running`);
    assert.equal(await listening(standinPort), false, `${signal} left the stand-in running`);
  }
});

test('a TERM while the demo is still starting stops it and leaves nothing', async () => {
  for (const delayMs of [300, 600, 900]) {
    const child = spawn(demo, [], { env, stdio: 'ignore' });
    const exited = new Promise((resolve) => child.once('exit', resolve));
    await new Promise((resolve) => setTimeout(resolve, delayMs));
    child.kill('SIGTERM');
    await withLimit(exited, stopLimitMs, `stopping the demo ${delayMs} ms after its start`);
    assertNothingLeft(`a TERM after ${delayMs} ms`);
  }
});
