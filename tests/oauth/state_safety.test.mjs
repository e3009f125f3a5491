// The state files as the console and the tools meet them: the console and the tools agree on the
// account in use for any accounts file, and the tools refuse state they cannot handle safely
// (files others can change, locations too long to hold, files too deep or unreadable) before
// anything reaches the sign-in server.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { startStandin } from './standin.mjs';
import { loginBin, makeNode, run, tokenBin } from './tools.mjs';

const sentences = {
  notArray: 'the accounts file cannot be read as a JSON array; it was left as it is',
  tooDeep: 'the accounts file is nested too deeply to be read safely; it was left as it is',
  foreign: /^the account in use is not in the form the tools write/,
  noAccount: 'no account is signed in; sign in first',
};

// A token endpoint that records every refresh token it is sent.
async function startRecorder() {
  const received = [];
  const server = http.createServer((req, res) => {
    let body = '';
    req.on('data', (chunk) => (body += chunk));
    req.on('end', () => {
      received.push(new URLSearchParams(body).get('refresh_token'));
      res.setHeader('content-type', 'application/json');
      res.end(JSON.stringify({ access_token: 'ya29.fresh', expires_in: 3600, token_type: 'Bearer' }));
    });
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const base = `http://127.0.0.1:${server.address().port}`;
  return { base, received, close: () => new Promise((resolve) => server.close(resolve)) };
}

function nodeFor(recorder) {
  const node = makeNode(null);
  fs.mkdirSync(path.dirname(node.files.client), { recursive: true, mode: 0o700 });
  const installed = { client_id: 'c', client_secret: 's', auth_uri: `${recorder.base}/auth`, token_uri: `${recorder.base}/token` };
  fs.writeFileSync(node.files.client, JSON.stringify({ installed }), { mode: 0o600 });
  return node;
}

describe('the console and the tools agree on the account', () => {
  let recorder;
  before(async () => {
    recorder = await startRecorder();
  });
  after(() => recorder.close());

  const deep = (inner) => '['.repeat(100_000) + inner + ']'.repeat(100_000);
  // email and signedIn: what the console shows. sent: the refresh token the token tool spends, or
  // error: why it refuses (then it sends nothing).
  const rows = [
    { name: 'selected account', accounts: '[{"email":"a","refresh_token":"t"},{"email":"b","refresh_token":"u"}]', selected: 'b\n', email: 'b', signedIn: true, sent: 'u' },
    { name: 'no selection: the first with an e-mail', accounts: '[{"refresh_token":"x"},{"email":"a","refresh_token":"t"}]', email: 'a', signedIn: true, sent: 't' },
    { name: 'selection absent from the file', accounts: '[{"email":"a","refresh_token":"t"},{"email":"b","refresh_token":"u"}]', selected: 'c', email: 'a', signedIn: true, sent: 't' },
    { name: 'first occurrence of the selection', accounts: '[{"email":"a","refresh_token":"1"},{"email":"a","refresh_token":"2"}]', selected: 'a', email: 'a', signedIn: true, sent: '1' },
    { name: 'escaped e-mail', accounts: '[{"note":"}{","email":"\\u0061","refresh_token":"t"}]', selected: 'a', email: 'a', signedIn: true, sent: 't' },
    { name: 'chosen account without a refresh token', accounts: '[{"email":"a","refresh_token":null},{"email":"b","refresh_token":"u"}]', email: 'a', signedIn: false, error: sentences.noAccount },
    { name: 'a number as e-mail', accounts: '[{"email":42,"refresh_token":"t"},{"email":"b","refresh_token":"u"}]', email: '42', signedIn: true, error: sentences.foreign },
    { name: 'a single object', accounts: '{"email":"solo","refresh_token":"r"}', email: 'solo', signedIn: true, error: sentences.notArray },
    { name: 'an element that is no object', accounts: '[1,{"email":"a","refresh_token":"t"}]', email: 'a', signedIn: true, error: sentences.foreign },
    { name: 'an empty refresh token', accounts: '[{"email":"a","refresh_token":""}]', email: 'a', signedIn: true, error: sentences.foreign },
    { name: 'unterminated', accounts: '[{"email":"a","refresh_token":"t"}', email: 'a', signedIn: true, error: sentences.notArray },
    { name: 'accounts inside one object', accounts: '{"accounts":[{"email":"a","refresh_token":"t"}]}', email: '', signedIn: false, error: sentences.notArray },
    { name: 'nested 100,000 levels deep', accounts: deep('{"email":"d","refresh_token":"t"}'), email: 'd', signedIn: true, error: sentences.tooDeep },
  ];
  for (const row of rows) {
    test(row.name, async () => {
      const node = nodeFor(recorder);
      fs.writeFileSync(node.files.accounts, row.accounts);
      if (row.selected !== undefined) fs.writeFileSync(node.files.selected, row.selected);

      const shown = JSON.parse((await node.plugin('action=status')).stdout.trimEnd().split('\n').pop());
      assert.equal(shown.email, row.email);
      assert.equal(shown.logged_in, row.signedIn);
      const status = await node.login('--status');
      assert.equal(status.json.identity, row.email);
      assert.equal(status.json.has_refresh, row.signedIn);

      recorder.received.length = 0;
      const refreshed = await node.token('-local');
      assert.equal(refreshed.signal, null, refreshed.stderr);
      if (row.sent) {
        assert.equal(refreshed.exit, 0, refreshed.stderr);
        assert.equal(refreshed.json.email, row.email);
        assert.deepEqual(recorder.received, [row.sent]);
      } else {
        assert.equal(refreshed.exit, 1);
        if (row.error instanceof RegExp) assert.match(refreshed.json.error, row.error);
        else assert.equal(refreshed.json.error, row.error);
        assert.deepEqual(recorder.received, [], 'a refresh token was sent');
        assert.equal(node.read('accounts'), row.accounts);
        const printed = await node.token();
        assert.equal(printed.exit, 1);
        assert.deepEqual(recorder.received, [], 'a refresh token was sent');
      }
    });
  }
});

describe('state the tools refuse before anything is sent', () => {
  let recorder;
  before(async () => {
    recorder = await startRecorder();
  });
  after(() => recorder.close());

  const chmod = (mode) => (target) => fs.chmodSync(target, mode);
  const root = process.getuid() === 0;
  const rows = [
    { name: 'accounts directory writable by all', target: (n) => path.dirname(n.files.accounts), arrange: chmod(0o777), fix: 'chmod 700' },
    { name: 'accounts directory writable by its group', target: (n) => path.dirname(n.files.accounts), arrange: chmod(0o770), fix: 'chmod 700' },
    { name: 'accounts file writable by others', target: (n) => n.files.accounts, arrange: chmod(0o646), fix: 'chmod 600' },
    { name: 'client file writable by its group', target: (n) => n.files.client, arrange: chmod(0o620), fix: 'chmod 600' },
    {
      name: 'environment directory writable by all',
      target: (n) => path.dirname(n.files.env),
      arrange: (dir) => fs.mkdirSync(dir, { recursive: true, mode: 0o777 }) && fs.chmodSync(dir, 0o777),
      fix: 'chmod 700',
    },
    {
      name: 'home writable by all, where the pending directory would be made',
      target: (n) => n.home,
      arrange: chmod(0o777),
      fix: 'chmod 700',
    },
    ...(root ? [{ name: 'accounts file of another user', target: (n) => n.files.accounts, arrange: (f) => fs.chownSync(f, 65534, 65534), fix: 'belongs to uid 65534' }] : []),
  ];
  for (const row of rows) {
    test(row.name, async () => {
      const node = nodeFor(recorder);
      fs.writeFileSync(node.files.accounts, '[{"email":"a","refresh_token":"t"}]', { mode: 0o600 });
      const target = row.target(node);
      row.arrange(target);
      recorder.received.length = 0;
      for (const run of [node.token('-local'), node.token(), node.login('--status'), node.login('--start')]) {
        const result = await run;
        assert.equal(result.exit, 1, result.stdout);
        assert.ok(result.stderr.includes(`${target} `) && result.stderr.includes(row.fix), result.stderr);
      }
      assert.match((await node.token('-local')).json.error, new RegExp(`changed by other users.*${row.fix}`));
      assert.deepEqual((await node.login('--start')).json, { ok: false, error: 'state_unsafe' });
      assert.deepEqual(recorder.received, []);
      assert.ok(!fs.existsSync(node.files.pending), 'a marker was written');
    });
  }

  test('a shared directory with the sticky bit may hold the directories the tools make', async () => {
    const shared = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-shared-'));
    try {
      fs.chmodSync(shared, 0o1777);
      const node = nodeFor(recorder);
      node.env.LUMENHOLLOW_CREDS_PATH = path.join(shared, 'mine/accounts.json');
      node.env.LUMENHOLLOW_CLIENT_PATH = node.files.client;
      assert.equal((await node.login('--start')).exit, 0);
      assert.equal(fs.statSync(path.join(shared, 'mine')).mode & 0o7777, 0o700);
      // Directly in it, a file could be taken over by whoever made it first.
      node.env.LUMENHOLLOW_CREDS_PATH = path.join(shared, 'accounts.json');
      const refused = await node.login('--start');
      assert.deepEqual(refused.json, { ok: false, error: 'state_unsafe' });
      assert.match(refused.stderr, /is shared with other users: keep the state files in a directory of your own/);
    } finally {
      fs.rmSync(shared, { recursive: true, force: true });
    }
  });

  test('a location longer than the tools hold is refused, naming its variable', async () => {
    const node = nodeFor(recorder);
    fs.writeFileSync(node.files.accounts, '[{"email":"a","refresh_token":"t"}]', { mode: 0o600 });
    const long = path.join(node.home, 'x'.repeat(1049 - node.home.length - 1));
    assert.equal(long.length, 1049);
    const cases = [
      ['LUMENHOLLOW_CREDS_PATH', long],
      ['LUMENHOLLOW_PENDING_PATH', long],
      ['LUMENHOLLOW_ENV_DIR', long],
      ['LUMENHOLLOW_CLIENT_PATH', long],
      // The accounts file fits; the selected-account file beside it would not.
      ['LUMENHOLLOW_CREDS_PATH', path.join(node.home, 'd'.repeat(1010 - node.home.length - 1), 'a.json')],
      ['HOME', `/${'h'.repeat(600)}`],
    ];
    for (const [variable, value] of cases) {
      const started = await run(loginBin, ['--start'], { ...node.env, [variable]: value });
      assert.deepEqual(started.json, { ok: false, error: 'location_too_long' }, variable);
      assert.match(started.stderr, new RegExp(`${variable} `));
      const refreshed = await run(tokenBin, ['-local'], { ...node.env, [variable]: value });
      assert.match(refreshed.json.error, new RegExp(`too long.*${variable}`), variable);
    }
    assert.deepEqual(recorder.received, []);
    assert.deepEqual(fs.readdirSync(node.home).sort(), ['.config']);
  });
});

describe('a finish checks what it will write before it spends the code', () => {
  let standin;
  before(async () => {
    standin = await startStandin({ rotateRefresh: false });
  });
  after(() => standin.stop());

  const rows = [
    { name: 'environment file is a FIFO', error: 'env_unreadable', arrange: (n) => execFileSync('mkfifo', [n.files.env]), file: 'env' },
    { name: 'environment file over the size limit', error: 'env_unreadable', arrange: (n) => fs.writeFileSync(n.files.env, 'A=1\n'.repeat(2 * 1024 * 1024 + 1)), file: 'env' },
    { name: 'accounts file nested too deeply', error: 'accounts_broken', arrange: (n) => fs.writeFileSync(n.files.accounts, '['.repeat(100_000)), file: 'accounts' },
  ];
  for (const row of rows) {
    test(row.name, async () => {
      const node = makeNode(standin);
      fs.mkdirSync(path.dirname(node.files.env), { recursive: true, mode: 0o700 });
      row.arrange(node);
      const landing = await node.approveNew('ada');
      const refused = await node.login('--finish', landing);
      assert.deepEqual(refused.json, { ok: false, error: row.error });
      assert.ok(refused.stderr.includes(node.files[row.file]), refused.stderr);
      assert.ok(fs.existsSync(node.files[row.file]), 'the file was replaced');
      assert.equal((await node.login('--status')).json.pending, true);
      // The code was not spent: once the file is mended, the same address signs in.
      fs.rmSync(node.files[row.file]);
      const finished = await node.login('--finish', landing);
      assert.equal(finished.exit, 0, finished.stderr);
    });
  }

  test('new directories and files are private whatever the umask', async () => {
    const node = makeNode(standin);
    const previous = process.umask(0o277);
    try {
      await node.signIn('ada');
    } finally {
      process.umask(previous);
    }
    for (const dir of [path.dirname(node.files.env), path.dirname(node.files.pending), path.join(node.home, '.veltrane')]) {
      assert.equal(fs.statSync(dir).mode & 0o777, 0o700, dir);
    }
    for (const file of ['accounts', 'selected', 'env']) assert.equal(fs.statSync(node.files[file]).mode & 0o777, 0o600, file);
    assert.equal(fs.statSync(`${node.files.accounts}.lock`).mode & 0o777, 0o600);
  });

  test('a client file others can read is used, with a warning', async () => {
    const node = makeNode(standin);
    fs.chmodSync(node.files.client, 0o644);
    const started = await node.login('--start');
    assert.equal(started.exit, 0);
    assert.match(started.stderr, new RegExp(`warning: .*${node.files.client} can be read by other users: chmod 600`));
    fs.chmodSync(node.files.client, 0o600);
    assert.equal((await node.login('--start')).stderr, '');
  });
});
