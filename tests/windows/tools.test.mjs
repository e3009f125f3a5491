// The login and token tools built for Windows, under wine, against the stand-in running on Linux:
// the same steps give the same JSON lines as the POSIX tools (tokens, times and paths aside), and
// the Windows program signs a node in with them from start to token. Builds nothing:
// LUMENHOLLOW_BUILD_DIR (default build/dev) and LUMENHOLLOW_WINDOWS_BUILD_DIR (default
// build/windows) hold both builds.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile, spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { approve } from '../oauth/consent.mjs';
import { startStandin } from '../oauth/standin.mjs';
import { linuxBuild, windowsBuild, wine, winePrefix, wineserver, winPath } from './wine.mjs';

const bins = {
  linux: {
    login: path.join(linuxBuild, 'lumenhollow-login'),
    token: path.join(linuxBuild, 'lumenhollow-token'),
    plugin: path.join(linuxBuild, 'plugin_lumenhollow_login'),
  },
  windows: {
    login: path.join(windowsBuild, 'lumenhollow-login.exe'),
    token: path.join(windowsBuild, 'lumenhollow-token.exe'),
    plugin: path.join(windowsBuild, 'plugin_lumenhollow_login.exe'),
  },
};
const wineEnv = {
  WINEPREFIX: winePrefix,
  WINEDEBUG: '-all',
  LANG: 'C.UTF-8',
};

let standin;
const homes = [];
before(async () => {
  for (const file of [...Object.values(bins.linux), ...Object.values(bins.windows), wine]) {
    assert.ok(fs.existsSync(file), `${file} is missing: run scripts/test-windows`);
  }
  // Started once with their output elsewhere: the wine services keep inherited pipes open.
  const quiet = { env: { ...process.env, ...wineEnv }, stdio: 'ignore' };
  spawnSync(wineserver, ['-p'], quiet);
  spawnSync(wine, [bins.windows.login, '--version'], quiet);
  standin = await startStandin();
});
after(async () => {
  await standin?.stop();
  spawnSync(wineserver, ['-k'], { env: { ...process.env, ...wineEnv } });
  for (const home of homes) fs.rmSync(home, { recursive: true, force: true });
});

// A node of one build: its state files under a fresh owner-only directory, named through the
// override variables (wine sets the home variables itself), the stand-in's client beside the
// accounts file.
function makeNode(target) {
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-wintools-'));
  homes.push(scratch);
  // A folder name beyond ASCII, as in a user profile "C:\\Users\\Zoë".
  const home = path.join(scratch, 'Zoë');
  fs.mkdirSync(home, { mode: 0o700 });
  fs.mkdirSync(path.join(home, 'acc'), { mode: 0o700 });
  fs.copyFileSync(standin.clientFile, path.join(home, 'acc/lumenhollow_client.json'));
  const place = target === 'windows' ? winPath : (p) => p;
  const env = {
    PATH: process.env.PATH,
    HOME: home,
    LUMENHOLLOW_CREDS_PATH: place(path.join(home, 'acc/lumenhollow_accounts.json')),
    LUMENHOLLOW_PENDING_PATH: place(path.join(home, 'pending/login.json')),
    LUMENHOLLOW_ENV_DIR: place(path.join(home, 'env')),
    LUMENHOLLOW_LOGIN_BIN: place(bins[target].login),
    LUMENHOLLOW_TOKEN_BIN: place(bins[target].token),
    ...(target === 'windows' ? wineEnv : {}),
  };
  const run = (bin, args, extra = {}) =>
    new Promise((resolve) => {
      const [file, argv] = target === 'windows' ? [wine, [bin, ...args]] : [bin, args];
      execFile(file, argv, { env: { ...env, ...extra }, timeout: 60_000 }, (error, stdout, stderr) => {
        resolve({ exit: error ? error.code ?? null : 0, stdout: stdout.replaceAll('\r\n', '\n'), stderr });
      });
    });
  const lastLine = (text) => JSON.parse(text.trimEnd().split('\n').pop());
  return {
    home,
    place,
    login: async (...args) => {
      const extra = typeof args.at(-1) === 'object' ? args.pop() : {};
      return { ...(await run(bins[target].login, args, extra)), target };
    },
    token: (...args) => run(bins[target].token, args),
    // --interactive with `answer(address)` typed once the prompt shows (null: end of input); its exit
    // status and output.
    interactive: (answer) =>
      new Promise((resolve) => {
        const bin = bins[target].login;
        const [file, argv] = target === 'windows' ? [wine, [bin, '--interactive']] : [bin, ['--interactive']];
        const child = spawn(file, argv, { env });
        let output = '';
        let asked = false;
        const take = async (chunk) => {
          output += chunk;
          if (asked || !output.includes('Address or code:')) return;
          asked = true;
          const [address] = output.match(/http:\/\/127\.0\.0\.1:\d+\/auth\S+/);
          const typed = await answer(address);
          child.stdin.end(typed === null ? undefined : `${typed}\n`);
        };
        child.stdout.on('data', take);
        child.stderr.on('data', take);
        child.on('close', (code) => resolve({ exit: code, output: output.replaceAll('\r\n', '\n') }));
      }),
    // The console's answer body for one request.
    plugin: async (query) => {
      const r = await run(bins[target].plugin, [], { QUERY_STRING: query });
      return { exit: r.exit, body: lastLine(r.stdout.slice(r.stdout.indexOf('\n\n') + 2)) };
    },
    json: (r) => lastLine(r.stdout),
  };
}

// What differs between two runs of the same step by nature: fresh tokens, times, addresses and
// the paths of each node.
const varying = new Set([
  'auth_url', 'path', 'credentials_path', 'adc_removed', 'expires_at', 'expires_in_sec', 'access_token',
]);
function comparable(value) {
  if (Array.isArray(value)) return value.map(comparable);
  if (value === null || typeof value !== 'object') return value;
  return Object.fromEntries(
    Object.entries(value).map(([k, v]) => [k, varying.has(k) ? typeof v : comparable(v)]),
  );
}

// The steps of a sign-in and a refresh with the tools alone; every JSON line a step printed.
async function toolSteps(node, login) {
  const lines = [];
  const step = async (name, result) => {
    assert.equal(result.exit, 0, `${name}: ${result.stdout}${result.stderr}`);
    lines.push([name, comparable(node.json(result))]);
    return node.json(result);
  };
  await step('status before', await node.login('--status'));
  const started = await step('start', await node.login('--start'));
  const landed = await approve(started.auth_url, { login });
  await step('finish', await node.login('--finish', landed));
  await step('status after', await node.login('--status'));
  await step('list', await node.login('--list'));
  await step('refresh', await node.token('-local'));
  const printed = await node.token();
  assert.equal(printed.exit, 0, printed.stderr);
  assert.match(printed.stdout.trim(), /^[\x21-\x7e]+$/);
  return lines;
}

test('the .exe tools sign in and refresh as the POSIX tools do', async () => {
  const linux = await toolSteps(makeNode('linux'), 'ada@example.test');
  const windows = await toolSteps(makeNode('windows'), 'ada@example.test');
  assert.deepEqual(windows, linux);
  assert.equal(linux.find(([name]) => name === 'status after')[1].logged_in, true);
});

// The whole console sign-in: start, the stand-in's pages, finish with the pasted address, status,
// refresh; then the token tool prints the token for other programs.
async function consoleSteps(node, login) {
  const bodies = [];
  const step = async (name, query) => {
    const r = await node.plugin(query);
    assert.equal(r.exit, 0, name);
    bodies.push([name, comparable(r.body)]);
    return r.body;
  };
  await step('status before', 'action=status');
  const started = await step('start', 'action=start');
  const landed = await approve(started.auth_url, { login });
  await step('finish', `action=finish&code=${encodeURIComponent(landed)}`);
  const status = await step('status after', 'action=status');
  assert.equal(status.logged_in, true, JSON.stringify(status));
  await step('refresh', 'action=refresh');
  const printed = await node.token();
  assert.equal(printed.exit, 0, printed.stderr);
  assert.match(printed.stdout.trim(), /^[\x21-\x7e]+$/);
  return bodies;
}

// A second account, then the account commands: credentials for other programs, list, select, and
// a sign-out that revokes the refresh token at the stand-in and removes that file.
async function accountSteps(node) {
  const lines = [];
  const step = async (name, result) => {
    assert.equal(result.exit, 0, `${name}: ${result.stdout}${result.stderr}`);
    lines.push([name, comparable(node.json(result))]);
  };
  const started = node.json(await node.login('--start'));
  await step('finish second', await node.login('--finish', await approve(started.auth_url, { login: 'bob@example.test' })));
  const adc = path.join(node.home, 'adc/credentials.json');
  await step('write adc', await node.token('--write-adc', node.place(adc)));
  assert.ok(fs.existsSync(adc));
  // By default where Google's libraries look: ~/.config/gcloud on Linux, %APPDATA%\gcloud on Windows.
  const byDefault = await node.token('--write-adc');
  await step('write adc by default', byDefault);
  assert.match(node.json(byDefault).path, /(\/\.config\/|\\AppData\\Roaming\\)gcloud[\\/]application_default_credentials\.json$/);
  await step('list', await node.login('--list'));
  await step('select', await node.login('--select', 'ada@example.test'));
  await step('logout', await node.login('--logout', 'bob@example.test'));
  await step('list after', await node.login('--list'));
  assert.ok(!fs.existsSync(adc), 'the sign-out leaves the credentials file it wrote');
  return lines;
}

test('the .exe account commands answer as the POSIX ones do', async () => {
  const nodes = { linux: makeNode('linux'), windows: makeNode('windows') };
  const lines = {};
  for (const [target, node] of Object.entries(nodes)) {
    await toolSteps(node, 'ada@example.test');
    lines[target] = await accountSteps(node);
  }
  assert.deepEqual(lines.windows, lines.linux);
  assert.deepEqual(lines.linux.at(-1)[1].accounts.map((a) => a.email), ['ada@example.test']);
  // wine keeps a DACL as Unix mode bits, Administrators as the group's: no Everyone entry may read
  // back from what the tools made. Real ACL enforcement is beyond what wine can show.
  const made = ['pending', 'acc/lumenhollow_accounts.json', 'acc/lumenhollow_accounts.json.lock'];
  for (const name of made) {
    const mode = fs.statSync(path.join(nodes.windows.home, name)).mode & 0o007;
    assert.equal(mode, 0, `${name} is open to others`);
  }
});

test('the Windows program signs a node in with the Windows tools', async () => {
  const linux = await consoleSteps(makeNode('linux'), 'grace@example.test');
  const windows = await consoleSteps(makeNode('windows'), 'grace@example.test');
  assert.deepEqual(windows, linux);
});

test('--interactive signs in from a pasted address, and end of input cancels, as on Linux', async () => {
  const outputs = {};
  for (const target of ['linux', 'windows']) {
    const node = makeNode(target);
    const cancelled = await node.interactive(() => null);
    const signed = await node.interactive((address) => approve(address, { login: 'ada@example.test' }));
    assert.equal(cancelled.exit, 1, cancelled.output);
    assert.equal(signed.exit, 0, signed.output);
    assert.equal(node.json(await node.login('--status')).logged_in, true);
    outputs[target] = [cancelled, signed].map((r) => r.output.replace(/http:\S+/g, 'ADDRESS'));
  }
  assert.deepEqual(outputs.windows, outputs.linux);
});

// A token endpoint that redirects, and one that never answers: WinHTTP must neither follow the
// redirect nor wait past the time limit (wine ignores its plain receive timeout), as libcurl does.
test('the .exe tools follow no redirect and keep the time limit', async () => {
  const server = http.createServer((req, res) => {
    if (req.url === '/slow') return;
    if (req.url === '/ok') return res.end('{}');  // followed, this would fail otherwise
    res.writeHead(302, { location: '/ok' });
    res.end();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  try {
    for (const [endpoint, error] of [['/redirect', 'server_error'], ['/slow', 'server_unreachable']]) {
      for (const target of ['linux', 'windows']) {
        const node = makeNode(target);
        const clientFile = path.join(node.home, 'acc/lumenhollow_client.json');
        const client = JSON.parse(fs.readFileSync(clientFile, 'utf8'));
        client.installed.token_uri = origin + endpoint;
        fs.writeFileSync(clientFile, JSON.stringify(client), { mode: 0o600 });
        await node.login('--start');
        const began = Date.now();
        const finished = await node.login('--finish', 'code', { LUMENHOLLOW_HTTP_TIMEOUT: '2' });
        assert.deepEqual([finished.exit, node.json(finished)], [1, { ok: false, error }], target);
        assert.ok(Date.now() - began < 8000, `${target} waited ${Date.now() - began} ms`);
      }
    }
  } finally {
    server.closeAllConnections();
    server.close();
  }
});
