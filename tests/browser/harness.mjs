// The program as a node serves it: lighttpd on a free 127.0.0.1 port, a throw-away home directory,
// the simulated login and token tools (or stand-ins), and headless Chromium to look at it.
//
//   const stack = await startStack({ password: 's3cret', login: 'missing' });
//   ... stack.direct, stack.hub, stack.home ...
//   await stack.stop();
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

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

// 'sim' is the simulated tool, 'missing' a path where nothing exists (the shell then reports the
// command as not found), anything else a path used as it is.
function toolPath(choice, simName, dir, role) {
  if (choice === undefined || choice === 'sim') {
    return requireFile(path.join(buildDir, 'sim', simName), 'build the sim targets first');
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
 * Starts lighttpd serving the program at /plugin_lumenhollow_login and through the emulated hub at
 * /plugins?plugin=google, plus the simulated consent page at /sim/consent.
 *
 * options.password  node password (BOT_PASSWORD) or none
 * options.login     'sim' (default), 'missing', or the path of a stand-in login CLI
 * options.token     the same for the token CLI
 * options.env       extra CGI environment, e.g. { LUMENHOLLOW_SIM_TOKEN_TTL: '30' }
 */
export async function startStack(options = {}) {
  const program = requireFile(
    path.join(buildDir, 'plugin_lumenhollow_login'),
    'build it first (cmake --preset dev && cmake --build --preset dev)',
  );
  const consent = requireFile(path.join(buildDir, 'sim', 'sim-consent'), 'build the sim targets');

  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-stack-'));
  scratch.add(dir);  // removed at exit too, should the start fail half-way
  const home = path.join(dir, 'home');
  fs.mkdirSync(home);
  fs.mkdirSync(path.join(dir, 'www'));
  const errorLog = path.join(dir, 'error.log');
  const conf = path.join(dir, 'lighttpd.conf');
  const login = toolPath(options.login, 'sim-login', dir, 'login');
  const token = toolPath(options.token, 'sim-token', dir, 'token');

  let child;
  let port;
  for (let attempt = 1; ; attempt++) {
    port = await freePort();
    const env = {
      HOME: home,
      PATH: '/usr/local/bin:/usr/bin:/bin',
      LUMENHOLLOW_LOGIN_BIN: login,
      LUMENHOLLOW_TOKEN_BIN: token,
      LUMENHOLLOW_SIM_ORIGIN: `http://127.0.0.1:${port}`,
      ...(options.password ? { BOT_PASSWORD: options.password } : {}),
      ...options.env,
    };
    const args = ['--port', String(port), '--docroot', path.join(dir, 'www')];
    args.push('--errorlog', errorLog, '--program', program, '--consent', consent);
    for (const [name, value] of Object.entries(env)) args.push('--env', `${name}=${value}`);
    fs.writeFileSync(conf, execFileSync(renderer, args));

    fs.writeFileSync(errorLog, '');
    child = spawn(lighttpd, ['-D', '-f', conf], { detached: true, stdio: 'ignore' });
    running.add(child);
    child.once('exit', () => running.delete(child));
    if (await waitUntilServing(child, port, errorLog)) break;
    // Another process took the port between the probe and lighttpd's bind; try another.
    if (attempt === 5) throw new Error(`lighttpd exited:\n${fs.readFileSync(errorLog, 'utf8')}`);
  }

  const origin = `http://127.0.0.1:${port}`;
  const gaccounts = path.join(home, '.config/google-accounts');
  let stopped = false;
  return {
    origin,
    home,
    direct: `${origin}/plugin_lumenhollow_login`,
    hub: `${origin}/plugins?plugin=google`,
    errorLog,
    paths: {
      accounts: path.join(gaccounts, 'lumenhollow_accounts.json'),
      selected: path.join(gaccounts, 'selected_account.txt'),
      envFile: path.join(home, '.veltrane/veltrane-env/lumenhollow.txt'),
      pending: path.join(home, '.veltrane/.login-pending/lumenhollow-default.json'),
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
