// The Windows build under wine against the Linux build: the same requests give the same bytes and
// exit statuses; then what only Windows has, its home and path rules and its own way of starting a
// tool. Builds nothing: LUMENHOLLOW_BUILD_DIR (default build/dev) and LUMENHOLLOW_WINDOWS_BUILD_DIR
// (default build/windows) hold the programs and their fake tools.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { linuxBuild, windowsBuild, wine, winePrefix, wineserver, winPath } from './wine.mjs';

const bins = {
  linux: path.join(linuxBuild, 'plugin_lumenhollow_login'),
  linuxTool: path.join(linuxBuild, 'tests/windows/fake_tool'),
  windows: path.join(windowsBuild, 'plugin_lumenhollow_login.exe'),
  windowsTool: path.join(windowsBuild, 'tests/windows/fake_tool.exe'),
  launcher: path.join(windowsBuild, 'tests/windows/launcher.exe'),
};
const wineEnv = {
  WINEPREFIX: winePrefix,
  WINEDEBUG: '-all',
  HOME: os.tmpdir(),
};

const dirs = [];
process.on('exit', () => dirs.forEach((d) => fs.rmSync(d, { recursive: true, force: true })));

// The wine server stays up across the runs: a cold start takes seconds, a warm one milliseconds.
// Its own processes keep any inherited output open, hence no pipes for these two.
before(() => {
  for (const file of [...Object.values(bins), wine, wineserver]) {
    assert.ok(fs.existsSync(file), `${file} is missing: run scripts/test-windows`);
  }
  const quiet = { env: { ...process.env, ...wineEnv }, stdio: 'ignore' };
  spawnSync(wineserver, ['-p'], quiet);
  spawnSync(wine, [bins.windows, '--version'], quiet);
});
after(() => spawnSync(wineserver, ['-k'], { env: { ...process.env, ...wineEnv } }));

// A throw-away directory with both builds of the fake tool at bin/login and bin/token ("login.exe"
// for wine, so that one path serves both). `files` maps paths relative to it to contents.
function sandbox(files = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-win-'));
  dirs.push(dir);
  for (const tool of ['bin/login', 'bin/token']) {
    write(dir, tool, fs.readFileSync(bins.linuxTool));
    fs.chmodSync(path.join(dir, tool), 0o755);
    write(dir, `${tool}.exe`, fs.readFileSync(bins.windowsTool));
  }
  for (const [name, content] of Object.entries(files)) write(dir, name, content);
  return dir;
}

function write(dir, name, content) {
  fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
  fs.writeFileSync(path.join(dir, name), content);
}


// Runs one build in `dir` with only the given environment. `launch` lists launcher arguments
// (NAME=VALUE or -NAME) for the variables that wine sets itself at every start from outside. The
// fake login tool's record is taken and removed, so each run reports only its own calls.
function run(target, dir, { env = {}, args = [], input = '', launch = null } = {}) {
  const common = {
    PATH: '/usr/bin:/bin',
    LUMENHOLLOW_LOGIN_BIN: path.join(dir, 'bin/login'),
    LUMENHOLLOW_TOKEN_BIN: path.join(dir, 'bin/token'),
    ...env,
  };
  const [file, argv, environment] =
    target === 'linux'
      ? [bins.linux, args, { HOME: path.join(dir, 'home'), ...common }]
      : [
          wine,
          launch ? [bins.launcher, ...launch, '--', bins.windows] : [bins.windows, ...args],
          { ...wineEnv, ...common },
        ];
  const r = spawnSync(file, argv, { cwd: dir, env: environment, input, timeout: 60000 });
  const record = path.join(dir, 'bin/login.calls');
  const calls = fs.existsSync(record) ? fs.readFileSync(record, 'latin1').split('\0') : [];
  fs.rmSync(record, { force: true });
  return { out: r.stdout.toString('latin1'), status: r.status, calls };
}

const body = (out) => JSON.parse(out.slice(out.indexOf('\r\n\r\n') + 4));
const accounts = JSON.stringify([{ email: 'first@x' }, { email: 'chosen@x', refresh_token: 'r' }]);
const ok = { 'bin/login.out': '{"ok":true}' };

// Unix paths serve both builds: Windows reads them as paths on the current drive, Z:.
const sameCases = [
  { name: 'page' },
  { name: 'discovery switch', args: ['--meta'] },
  { name: 'version switch', args: ['-v'] },
  { name: 'discovery variable', env: { QV_PLUGIN_META: '' } },
  { name: 'wrong password', env: { BOT_PASSWORD: 'pw', QUERY_STRING: 'action=status&pwd=no' } },
  { name: 'unknown action', env: { QUERY_STRING: 'action=%25!x' } },
  { name: 'status, no tool', env: { QUERY_STRING: 'action=status', LUMENHOLLOW_LOGIN_BIN: '/t' } },
  {
    name: 'status from files',
    env: { QUERY_STRING: 'action=status' },
    pending: true,
    files: {
      'acc/a.json': accounts,
      'acc/selected_account.txt': 'chosen@x\r\n',
      'acc/veltrane-env/lumenhollow.txt': 'GOOGLE_PROJECT_ID=proj-1\r\n',
      pending: '',
      'bin/login.out': '{"logged_in":true,"expires_at":4102444800}\r\n',
    },
  },
  {
    // text-mode reading would end the tool's output at the 0x1A byte
    name: 'start',
    env: { QUERY_STRING: 'action=start' },
    files: { 'bin/login.out': 'x\x1a\r\n{"ok":true,"auth_url":"https://a/?q=1"}\r\n' },
  },
  { name: 'start, no tool', env: { QUERY_STRING: 'action=start', LUMENHOLLOW_LOGIN_BIN: 'no-t' } },
  { name: 'cancel', env: { QUERY_STRING: 'action=cancel' } },
  { name: 'finish, shell bytes', env: { QUERY_STRING: 'action=finish&code=a%24b' } },
  {
    name: 'finish rejected',
    env: { QUERY_STRING: 'action=finish&code=c' },
    files: { 'bin/login.out': '{"ok":false}', 'bin/login.code': '1' },
  },
  {
    name: 'finish, code in the body',
    env: { QUERY_STRING: 'action=finish', CONTENT_LENGTH: '21' },
    input: Buffer.from('\x1a\r\n{"code":"4/0Ab-c"}\r\n', 'latin1'),
    files: ok,
  },
  {
    name: 'refresh fails',
    env: { QUERY_STRING: 'action=refresh' },
    files: { 'bin/token.out': '{"ok":false}', 'bin/token.code': '2' },
  },
  ...['%PATH%', '!OS!', '^', '(x)', '*', '?', 'a b', '%25 !OS! ^(*)? end'].map((code) => ({
    name: `finish with ${code}`,
    env: { QUERY_STRING: `action=finish&code=${encodeURIComponent(code)}` },
    files: ok,
    code,
  })),
];

test('the Windows build answers every request byte for byte as the Linux build', () => {
  for (const c of sameCases) {
    const dir = sandbox(c.files);
    const env = { LUMENHOLLOW_CREDS_PATH: `${dir}/acc/a.json`, ...c.env };
    if (c.pending) env.LUMENHOLLOW_PENDING_PATH = `${dir}/pending`;
    const linux = run('linux', dir, { ...c, env });
    assert.deepEqual(run('windows', dir, { ...c, env }), linux, c.name);
    if (c.code) assert.deepEqual(linux.calls.slice(0, 3), ['2', '--finish', c.code], c.name);
  }
});

// The state files at their default places under `home` ('.' for bare names).
function stateUnder(home) {
  const at = (rel) => (home === '.' ? path.basename(rel) : `${home}/${rel}`);
  return {
    [at('.config/google-accounts/lumenhollow_accounts.json')]: accounts,
    [at('.config/google-accounts/selected_account.txt')]: 'chosen@x',
    [at('.veltrane/veltrane-env/lumenhollow.txt')]: 'GOOGLE_PROJECT_ID=proj-1',
    [at('.veltrane/.login-pending/lumenhollow-default.json')]: '{}',
  };
}

// The accounts, selected-account and environment files of the cases that move them.
const moved = (accountsAt, selectedAt, envFileAt) => ({
  [accountsAt]: accounts,
  [selectedAt]: 'chosen@x',
  [envFileAt]: 'GOOGLE_PROJECT_ID=proj-1',
});

test('the home directory and the state files follow the Windows rules', () => {
  const y509 = 'y'.repeat(509);
  const homeIn = (d) => ['HOMEDRIVE=Z:', `HOMEPATH=${winPath(d).slice(2)}\\home`];
  const accountsIn = (home) => `${home}\\.config\\google-accounts\\lumenhollow_accounts.json`;
  const homeCreds = (d) => accountsIn(`${winPath(d)}\\home`);
  // name, launcher arguments, files, credentials path, what is read: 'all' (the pending marker
  // too), 'files' (accounts and environment files) or 'none'
  const cases = [
    ['USERPROFILE', (d) => [`USERPROFILE=${winPath(d)}\\home`], stateUnder('home'), homeCreds, 'all'],
    ['USERPROFILE of 511 bytes', () => [`USERPROFILE=Q:${y509}`], {}, () => accountsIn(`Q:${y509}`), 'none'],
    ['USERPROFILE of 512 bytes', (d) => [`USERPROFILE=Q:${y509}y`, ...homeIn(d)], stateUnder('home'),
      homeCreds, 'all'],
    ['HOMEDRIVE and HOMEPATH', (d) => ['-USERPROFILE', ...homeIn(d)], stateUnder('home'), homeCreds, 'all'],
    ['HOMEDRIVE alone: bare names', () => ['-USERPROFILE', 'HOMEDRIVE=Z:', '-HOMEPATH'],
      stateUnder('.'), () => 'lumenhollow_accounts.json', 'all'],
    // The one backslash wins over the later slashes: the directory part ends after "win-XXXXXX\".
    ['backslash preferred', (d) => [`LUMENHOLLOW_CREDS_PATH=${winPath(d)}\\acc/sub/a.json`],
      moved('acc/sub/a.json', 'selected_account.txt', 'veltrane-env/lumenhollow.txt'),
      (d) => `${winPath(d)}\\acc/sub/a.json`, 'files'],
    ['slashes only, environment directory ending in a backslash',
      (d) => [`LUMENHOLLOW_CREDS_PATH=${d}/acc/a.json`, `LUMENHOLLOW_ENV_DIR=${winPath(d)}\\e\\`],
      moved('acc/a.json', 'acc/selected_account.txt', 'e/lumenhollow.txt'),
      (d) => `${d}/acc/a.json`, 'files'],
  ];
  for (const [name, launch, files, creds, read] of cases) {
    const dir = sandbox(files);
    const env = { QUERY_STRING: 'action=status', LUMENHOLLOW_LOGIN_BIN: '/nowhere' };
    const got = body(run('windows', dir, { env, launch: launch(dir) }).out);
    const some = read !== 'none';
    assert.deepEqual(
      [got.credentials_path, got.email, got.project_id, got.pending],
      [creds(dir), some ? 'chosen@x' : '', some ? 'proj-1' : '', read === 'all'],
      name,
    );
  }
});

test('tools are started directly: odd paths, a bare name on PATH, a missing one', () => {
  const dir = sandbox({ 'bin/login.out': 'not a program' });
  write(dir, "it's a dir/login.out", '{"ok":true,"auth_url":"quoted"}');
  fs.renameSync(path.join(dir, 'bin/login.exe'), path.join(dir, "it's a dir/login.exe"));
  write(dir, 'bin/veltrane-lumenhollow-login.exe', fs.readFileSync(bins.windowsTool));
  write(dir, 'bin/veltrane-lumenhollow-login.out', '{"ok":true,"auth_url":"on PATH"}');
  const start = (login, launch = []) => {
    const env = { QUERY_STRING: 'action=start', LUMENHOLLOW_LOGIN_BIN: login };
    return body(run('windows', dir, { env, launch }).out);
  };
  assert.equal(start(path.join(dir, "it's a dir/login")).auth_url, 'quoted');
  assert.equal(start('', [`PATH=C:\\nowhere;;${winPath(dir)}\\bin\\`]).auth_url, 'on PATH');
  assert.equal(start('', ['PATH=C:\\nowhere']).error, 'cli_unavailable');
  // Found, but not a program: a shell could not start it either.
  assert.equal(start(path.join(dir, 'bin/login.out')).error, 'cli_unavailable');
});
