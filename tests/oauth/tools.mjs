// Runs the built login and token tools as a user (or the console) would: a throw-away home
// directory, a client file in its usual place, one JSON line on standard output.
//
//   const node = makeNode(standin);            // a fresh home with the stand-in's client file
//   const started = await node.login('--start');
//   await node.signIn('ada@example.test');     // start, approve, finish
import { execFile } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { approve } from './consent.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const buildDir = path.resolve(root, process.env.LUMENHOLLOW_BUILD_DIR || 'build/dev');
export const loginBin = path.join(buildDir, 'lumenhollow-login');
export const tokenBin = path.join(buildDir, 'lumenhollow-token');
export const pluginBin = path.join(buildDir, 'plugin_lumenhollow_login');

// The tools refuse state files that other users can write; what these tests write must not be
// group-writable whatever umask they were started with.
process.umask(0o022);

const homes = [];
process.on('exit', () => {
  for (const home of homes) fs.rmSync(home, { recursive: true, force: true });
});

// exit: the exit status (null when killed), signal, stdout, stderr, json: the last stdout line
// parsed, or null.
export function run(bin, args, env) {
  return new Promise((resolve) => {
    execFile(bin, args, { env, timeout: 120_000 }, (error, stdout, stderr) => {
      const last = stdout.trimEnd().split('\n').pop();
      let json = null;
      try {
        json = JSON.parse(last);
      } catch {
        json = null;
      }
      resolve({ exit: error ? error.code ?? null : 0, signal: error?.signal ?? null, stdout, stderr, json });
    });
  });
}

export function makeNode(standin, extraEnv = {}) {
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-tools-'));
  homes.push(home);
  const accountsDir = path.join(home, '.config/google-accounts');
  const files = {
    accounts: path.join(accountsDir, 'lumenhollow_accounts.json'),
    selected: path.join(accountsDir, 'selected_account.txt'),
    client: path.join(accountsDir, 'lumenhollow_client.json'),
    env: path.join(home, '.veltrane/veltrane-env/lumenhollow.txt'),
    pending: path.join(home, '.veltrane/.login-pending/lumenhollow-default.json'),
  };
  if (standin) {
    fs.mkdirSync(accountsDir, { recursive: true, mode: 0o700 });
    fs.copyFileSync(standin.clientFile, files.client);
  }
  const env = { PATH: process.env.PATH, HOME: home, ...extraEnv };
  const node = {
    home,
    files,
    env,
    login: (...args) => run(loginBin, args, env),
    token: (...args) => run(tokenBin, args, env),
    // The console's status answer with the real login tool behind it.
    plugin: (query) =>
      run(pluginBin, [], { ...env, QUERY_STRING: query, LUMENHOLLOW_LOGIN_BIN: loginBin, LUMENHOLLOW_TOKEN_BIN: tokenBin }),
    read: (name) => fs.readFileSync(files[name], 'utf8'),
    accounts: () => JSON.parse(fs.readFileSync(files.accounts, 'utf8')),
    client: () => JSON.parse(fs.readFileSync(files.client, 'utf8')).installed,
    // Start and approve; the address the browser lands on.
    async approveNew(login) {
      const started = await node.login('--start');
      if (!started.json?.ok) throw new Error(`--start failed: ${started.stdout}${started.stderr}`);
      return approve(started.json.auth_url, { login });
    },
    async signIn(login) {
      const finished = await node.login('--finish', await node.approveNew(login));
      if (!finished.json?.ok) throw new Error(`--finish failed: ${finished.stdout}${finished.stderr}`);
      return finished;
    },
  };
  return node;
}

// The form POST a user's other tools would make, for arranging server-side state.
export async function postForm(url, fields) {
  const response = await fetch(url, {
    method: 'POST',
    headers: { 'content-type': 'application/x-www-form-urlencoded' },
    body: new URLSearchParams(fields),
  });
  const text = await response.text();
  return { status: response.status, body: text ? JSON.parse(text) : {} };
}
