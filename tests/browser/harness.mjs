// The program as a node serves it: lighttpd on a free 127.0.0.1 port, a throw-away home directory,
// the real login and token tools (or scripted stand-ins) signing in against the local stand-in for
// Google, and headless Chromium to look at it.
//
//   const stack = await startStack({ password: 's3cret', login: 'missing' });
//   ... stack.direct, stack.hub, stack.home, stack.standin.issuer ...
//   await stack.stop();
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { startStandin } from '../oauth/standin.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const buildDir = path.resolve(root, process.env.LUMENHOLLOW_BUILD_DIR || 'build/dev');
const renderer = path.join(root, 'deploy/render-lighttpd-conf.sh');
const lighttpd =
  ['/usr/sbin/lighttpd', '/usr/bin/lighttpd'].find((p) => fs.existsSync(p)) || 'lighttpd';

// Servers still running when the test process ends are killed with their CGI children, so a
// failed or interrupted test leaves no lighttpd behind.
const running = new Set();
const scratch = new Set();
process.on('exit', () => {
  for (const child of running) killGroup(child, 'SIGKILL');
  for (const dir of scratch) fs.rmSync(dir, { recursive: true, force: true });
});

function killGroup(child, signal) {
  try {
    process.kill(-child.pid, signal);
  } catch {
    // already gone
  }
}

function requireFile(file, hint) {
  if (!fs.existsSync(file)) throw new Error(`${file} is missing; ${hint}`);
  return file;
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.unref();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// 'real' is the tool built beside the program, 'missing' a path where nothing exists (the shell
// then reports the command as not found), anything else a path used as it is.
function toolPath(choice, binary, dir, role) {
  if (choice === undefined || choice === 'real') {
    return requireFile(path.join(buildDir, binary), 'build the tools first');
  }
  if (choice === 'missing') return path.join(dir, `no-${role}-cli-here`);
  return choice;
}

// A throw-away shell script to stand in for a tool, e.g. fakeTool('echo \'{"ok":false}\'').
export function fakeTool(body) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-tool-'));
  scratch.add(dir);
  const file = path.join(dir, 'tool');
  fs.writeFileSync(file, `#!/bin/sh\n${body}\n`, { mode: 0o755 });
  return file;
}

async function waitUntilServing(child, port, errorLog) {
  const deadline = Date.now() + 10_000;
  while (Date.now() < deadline) {
    if (child.exitCode !== null || child.signalCode !== null) return false;
    const up = await new Promise((resolve) => {
      const socket = net.connect(port, '127.0.0.1');
      socket.once('connect', () => {
        socket.destroy();
        resolve(true);
      });
      socket.once('error', () => resolve(false));
    });
    if (up) return true;
    await new Promise((r) => setTimeout(r, 25));
  }
  killGroup(child, 'SIGKILL');
  throw new Error(`lighttpd did not start:\n${fs.readFileSync(errorLog, 'utf8')}`);
}

/**
 * Starts the stand-in for Google, whose client file lands where the tools look for it, and lighttpd
 * serving the program at /plugin_lumenhollow_login and through the emulated hub at
 * /plugins?plugin=google.
 *
 * options.password  node password (BOT_PASSWORD) or none
 * options.login     'real' (default), 'missing', or the path of a stand-in login CLI
 * options.token     the same for the token CLI
 * options.standin   options of the stand-in (see startStandin), e.g. { project: 'p-1' }
 * options.env       extra CGI environment, e.g. { LUMENHOLLOW_SCOPES: '' }
 */
export async function startStack(options = {}) {
  const program = requireFile(
    path.join(buildDir, 'plugin_lumenhollow_login'),
    'build it first (cmake --preset dev && cmake --build --preset dev)',
  );

  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-stack-'));
  scratch.add(dir);  // removed at exit too, should the start fail half-way
  const home = path.join(dir, 'home');
  fs.mkdirSync(home);
  fs.mkdirSync(path.join(dir, 'www'));
  const errorLog = path.join(dir, 'error.log');
  const conf = path.join(dir, 'lighttpd.conf');
  const login = toolPath(options.login, 'lumenhollow-login', dir, 'login');
  const token = toolPath(options.token, 'lumenhollow-token', dir, 'token');
  const gaccounts = path.join(home, '.config/google-accounts');
  const standin = await startStandin({
    ...options.standin,
    clientFile: path.join(gaccounts, 'lumenhollow_client.json'),
  });

  let child;
  let port;
  for (let attempt = 1; ; attempt++) {
    port = await freePort();
    const env = {
      HOME: home,
      PATH: '/usr/local/bin:/usr/bin:/bin',
      LUMENHOLLOW_LOGIN_BIN: login,
      LUMENHOLLOW_TOKEN_BIN: token,
      ...(options.password ? { BOT_PASSWORD: options.password } : {}),
      ...options.env,
    };
    const args = ['--port', String(port), '--docroot', path.join(dir, 'www')];
    args.push('--errorlog', errorLog, '--program', program);
    for (const [name, value] of Object.entries(env)) args.push('--env', `${name}=${value}`);
    fs.writeFileSync(conf, execFileSync(renderer, args));

    fs.writeFileSync(errorLog, '');
    child = spawn(lighttpd, ['-D', '-f', conf], { detached: true, stdio: 'ignore' });
    running.add(child);
    child.once('exit', () => running.delete(child));
    if (await waitUntilServing(child, port, errorLog)) break;
    // Another process took the port between the probe and lighttpd's bind; try another.
    if (attempt === 5) {
      await standin.stop();
      throw new Error(`lighttpd exited:\n${fs.readFileSync(errorLog, 'utf8')}`);
    }
  }

  const origin = `http://127.0.0.1:${port}`;
  let stopped = false;
  return {
    origin,
    home,
    standin,
    direct: `${origin}/plugin_lumenhollow_login`,
    hub: `${origin}/plugins?plugin=google`,
    errorLog,
    paths: {
      accounts: path.join(gaccounts, 'lumenhollow_accounts.json'),
      selected: path.join(gaccounts, 'selected_account.txt'),
      envFile: path.join(home, '.veltrane/veltrane-env/lumenhollow.txt'),
      pending: path.join(home, '.veltrane/.login-pending/lumenhollow-default.json'),
      client: standin.clientFile,
    },
    async stop() {
      if (stopped) return;
      stopped = true;
      if (running.has(child)) {
        const exited = new Promise((resolve) => child.once('exit', resolve));
        killGroup(child, 'SIGTERM');
        const timer = setTimeout(() => killGroup(child, 'SIGKILL'), 3000);
        await exited;
        clearTimeout(timer);
      }
      await standin.stop();
      fs.rmSync(dir, { recursive: true, force: true });
      scratch.delete(dir);
    },
  };
}

export function launchBrowser() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
  });
}
