// The login and token tools against the local sign-in server: the whole sign-in, then what users
// run into (codes used twice or from another start, a cancelled or lapsed sign-in, a revoked or
// rotated refresh token, a server that never answers, concurrent runs, a crash mid-write).
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { approve } from './consent.mjs';
import { startStandin } from './standin.mjs';
import { makeNode, postForm, run, tokenBin } from './tools.mjs';

const cloudScope = 'https://www.googleapis.com/auth/cloud-platform';

function mode(file) {
  return fs.statSync(file).mode & 0o777;
}

// No token, secret or code may show in anything a tool prints.
function assertNoSecrets(outputs, secrets) {
  for (const output of outputs) {
    for (const secret of secrets.filter(Boolean)) {
      assert.ok(!`${output.stdout}${output.stderr}`.includes(secret), `a secret leaked: ${output.stdout}${output.stderr}`);
    }
  }
}

describe('with a server that rotates refresh tokens', () => {
  let standin;
  before(async () => {
    standin = await startStandin({ rotateRefresh: true, accessTtlSeconds: 3600, project: 'proj-7' });
  });
  after(() => standin.stop());

  test('start, approve, finish, status, refresh and print a token', async () => {
    const node = makeNode(standin);
    const started = await node.login('--start');
    assert.equal(started.exit, 0, started.stderr);
    assert.equal(started.json.flow, 'paste_code');
    assert.equal(started.json.expires_in, 900);
    const auth = new URL(started.json.auth_url);
    const marker = JSON.parse(node.read('pending'));
    assert.ok(Math.abs(marker.expires_at - (Date.now() / 1000 + 900)) < 60, `the marker lapses at ${marker.expires_at}`);
    const params = Object.fromEntries(auth.searchParams);
    assert.deepEqual(
      { ...params, code_challenge: undefined },
      {
        client_id: node.client().client_id,
        redirect_uri: 'http://localhost',
        response_type: 'code',
        scope: `openid email ${cloudScope}`,
        code_challenge: undefined,
        code_challenge_method: 'S256',
        state: marker.state,
        access_type: 'offline',
        prompt: 'consent',
      },
    );
    assert.equal(params.code_challenge, crypto.createHash('sha256').update(marker.code_verifier).digest('base64url'));
    assert.equal(mode(node.files.pending), 0o600);
    assert.equal(mode(path.dirname(node.files.pending)), 0o700);
    assert.equal((await node.login('--status')).json.pending, true);

    // A login outside ASCII: the e-mail must reach every file as raw UTF-8.
    const landing = await approve(started.json.auth_url, { login: 'zoë@example.test' });
    const code = new URL(landing).searchParams.get('code');
    const finished = await node.login('--finish', landing);
    assert.equal(finished.exit, 0, finished.stderr);
    assert.deepEqual(finished.json, { ok: true, email: 'zoë@example.test' });
    assert.ok(finished.stdout.includes('zoë'));
    assert.ok(!fs.existsSync(node.files.pending));

    const [account] = node.accounts();
    assert.equal(account.email, 'zoë@example.test');
    assert.ok(node.read('accounts').includes('zoë'), 'the accounts file escapes non-ASCII');
    assert.ok(account.refresh_token && account.access_token);
    assert.ok(Math.abs(account.expires_at - (Date.now() / 1000 + 3600)) < 60);
    assert.equal(node.read('selected'), 'zoë@example.test\n');
    assert.equal(node.read('env'), 'GOOGLE_ACCOUNT=zoë@example.test\nGOOGLE_PROJECT_ID=proj-7\n');
    for (const file of ['accounts', 'selected', 'env']) assert.equal(mode(node.files[file]), 0o600, file);
    for (const dir of [path.dirname(node.files.env), path.dirname(path.dirname(node.files.env))]) {
      assert.equal(mode(dir), 0o700, dir);
    }

    const status = await node.login('--status');
    assert.deepEqual(status.json, {
      ok: true,
      identity: 'zoë@example.test',
      path: node.files.accounts,
      logged_in: true,
      has_refresh: true,
      pending: false,
      expires_at: account.expires_at,
    });
    const console_ = await node.plugin('action=status');
    assert.match(console_.stdout, /"logged_in":true,"email":"zoë@example.test"/);
    assert.match(console_.stdout, /"project_id":"proj-7"/);

    const refreshed = await node.token('-local');
    assert.equal(refreshed.exit, 0, refreshed.stderr);
    assert.equal(refreshed.json.ok, true);
    assert.equal(refreshed.json.project_id, 'proj-7');
    const [after] = node.accounts();
    assert.notEqual(after.access_token, account.access_token);
    assert.equal(refreshed.json.expires_at, after.expires_at);

    const printed = await node.token();
    assert.equal(printed.exit, 0, printed.stderr);
    assert.equal(printed.stdout, `${after.access_token}\n`);
    // With less than five minutes left, print mode refreshes first.
    fs.writeFileSync(node.files.accounts, JSON.stringify([{ ...after, expires_at: Math.floor(Date.now() / 1000) + 120 }]));
    const renewed = await node.token();
    const [latest] = node.accounts();
    assert.notEqual(latest.access_token, after.access_token);
    assert.equal(renewed.stdout, `${latest.access_token}\n`);

    assertNoSecrets([started, finished, status, console_, refreshed], [
      node.client().client_secret,
      code,
      account.refresh_token,
      account.access_token,
      after.refresh_token,
      after.access_token,
      marker.code_verifier,
    ]);
  });

  test('finish fails without a network call when nothing is pending or the sign-in lapsed', async (t) => {
    // The client file is removed before --finish: a tool that went on to the server would fail
    // with client_missing instead.
    const cases = [
      { name: 'never started', arrange: async () => {}, error: 'no_pending_login' },
      { name: 'cancelled', arrange: async (node) => assert.deepEqual((await node.login('--cancel')).json, { ok: true, pending: false }), error: 'no_pending_login' },
      {
        name: 'expired',
        arrange: (node) => {
          const marker = JSON.parse(node.read('pending'));
          fs.writeFileSync(node.files.pending, JSON.stringify({ ...marker, expires_at: Math.floor(Date.now() / 1000) - 1 }));
        },
        error: 'login_expired',
      },
    ];
    for (const c of cases) {
      await t.test(c.name, async () => {
        const node = makeNode(standin);
        const landing = c.name === 'never started' ? 'http://localhost/?code=abc' : await node.approveNew('ada');
        await c.arrange(node);
        assert.equal((await node.login('--status')).json.pending, false);
        fs.rmSync(node.files.client);
        const finished = await node.login('--finish', landing);
        assert.equal(finished.exit, 1);
        assert.deepEqual(finished.json, { ok: false, error: c.error });
        assert.equal((await node.login('--status')).json.pending, false);
        assert.ok(!fs.existsSync(node.files.pending), 'the marker was left behind');
      });
    }
  });

  test('refused consent, a code from an earlier start or used twice: refused, the sign-in stays pending', async () => {
    const node = makeNode(standin);
    const earlier = new URL(await node.approveNew('ada')).searchParams.get('code');
    const current = await node.approveNew('ada');
    const state = new URL(current).searchParams.get('state');
    const refusedConsent = await node.login('--finish', `http://localhost/?error=access_denied&state=${state}`);
    assert.deepEqual(refusedConsent.json, { ok: false, error: 'access_denied' });

    // Pasted whole, the earlier address is caught by its state; the bare code reaches the server,
    // which finds that it does not match this start's verifier.
    const stale = await node.login('--finish', `http://localhost/?code=${earlier}&state=other`);
    assert.deepEqual(stale.json, { ok: false, error: 'state_mismatch' });
    const mismatch = await node.login('--finish', earlier);
    assert.deepEqual(mismatch.json, { ok: false, error: 'invalid_grant' });
    assert.equal((await node.login('--status')).json.pending, true);

    assert.equal((await node.login('--finish', current)).exit, 0);
    await node.approveNew('ada');
    const twice = await node.login('--finish', new URL(current).searchParams.get('code'));
    assert.deepEqual(twice.json, { ok: false, error: 'invalid_grant' });
    assert.equal(node.accounts().length, 1);
  });

  test('a refresh token revoked at the server asks to sign in again', async () => {
    const node = makeNode(standin);
    await node.signIn('ada');
    const client = node.client();
    const revoked = await postForm(`${standin.issuer}/token/revocation`, {
      token: node.accounts()[0].refresh_token,
      client_id: client.client_id,
      client_secret: client.client_secret,
    });
    assert.equal(revoked.status, 200);
    const before = node.read('accounts');
    const refreshed = await node.token('-local');
    assert.equal(refreshed.exit, 1);
    assert.equal(refreshed.json.ok, false);
    assert.match(refreshed.json.error, /revoked or has expired; sign in again/);
    assert.equal(node.read('accounts'), before);
    const console_ = await node.plugin('action=refresh');
    assert.match(console_.stdout, /"detail":"the refresh token was revoked or has expired; sign in again"/);
  });

  test('a rotated refresh token is stored, and the next refresh spends it', async () => {
    const node = makeNode(standin);
    await node.signIn('ada');
    const first = node.accounts()[0].refresh_token;
    assert.equal((await node.token('-local')).exit, 0);
    const second = node.accounts()[0].refresh_token;
    assert.notEqual(second, first);
    assert.equal((await node.token('-local')).exit, 0);
    assert.notEqual(node.accounts()[0].refresh_token, second);
  });

  test('token prints racing for an expired token refresh once, one after another', async () => {
    const node = makeNode(standin);
    await node.signIn('ada');
    const [account] = node.accounts();
    fs.writeFileSync(node.files.accounts, JSON.stringify([{ ...account, expires_at: Math.floor(Date.now() / 1000) + 60 }]));
    const prints = await Promise.all(Array.from({ length: 4 }, () => node.token()));
    for (const p of prints) assert.equal(p.exit, 0, p.stderr);
    assert.deepEqual(new Set(prints.map((p) => p.stdout)), new Set([`${node.accounts()[0].access_token}\n`]));
  });

  test('concurrent refreshes and a second sign-in take turns and lose nothing', async () => {
    const node = makeNode(standin);
    await node.signIn('ada');
    const landing = await node.approveNew('grace');
    const runs = await Promise.all([
      node.login('--finish', landing),
      ...Array.from({ length: 5 }, () => node.token('-local')),
    ]);
    for (const r of runs) assert.equal(r.exit, 0, `${r.stdout}${r.stderr}`);
    const accounts = node.accounts();
    assert.deepEqual(accounts.map((a) => a.email).sort(), ['ada@example.test', 'grace@example.test']);
    // Both accounts still hold a refresh token that the server honours.
    for (const email of ['ada@example.test', 'grace@example.test']) {
      fs.writeFileSync(node.files.selected, `${email}\n`);
      const again = await node.token('-local');
      assert.equal(again.exit, 0, `${email}: ${again.stdout}`);
    }
  });
});

test('a crash between writing and renaming leaves the old accounts file whole', async () => {
  const standin = await startStandin({ rotateRefresh: false });
  try {
    const node = makeNode(standin);
    await node.signIn('ada');
    const before = node.read('accounts');
    const crashed = await (async () => {
      node.env.LUMENHOLLOW_TEST_CRASH_BEFORE_RENAME = 'lumenhollow_accounts.json';
      try {
        return await node.token('-local');
      } finally {
        delete node.env.LUMENHOLLOW_TEST_CRASH_BEFORE_RENAME;
      }
    })();
    assert.equal(crashed.signal, 'SIGABRT');
    assert.equal(node.read('accounts'), before);
    // The dead run's temporary copy holds tokens; the next write under the lock removes it.
    const leftovers = () =>
      fs.readdirSync(path.dirname(node.files.accounts)).filter((n) => n.startsWith('.lumenhollow_accounts.json.'));
    assert.equal(leftovers().length, 1);
    assert.match((await node.plugin('action=status')).stdout, /"logged_in":true/);
    assert.equal((await node.token('-local')).exit, 0);
    assert.deepEqual(leftovers(), []);
  } finally {
    await standin.stop();
  }
});

test('a server that accepts and never answers fails the tools in bounded time', async () => {
  const sockets = new Set();
  const silent = net.createServer((socket) => sockets.add(socket));
  await new Promise((resolve) => silent.listen(0, '127.0.0.1', resolve));
  const base = `http://127.0.0.1:${silent.address().port}`;
  try {
    const node = makeNode(null, { LUMENHOLLOW_HTTP_TIMEOUT: '2' });
    fs.mkdirSync(path.dirname(node.files.client), { recursive: true });
    fs.writeFileSync(
      node.files.client,
      JSON.stringify({ installed: { client_id: 'c', client_secret: 's', auth_uri: `${base}/auth`, token_uri: `${base}/token` } }),
    );
    fs.writeFileSync(node.files.accounts, JSON.stringify([{ email: 'ada@example.test', refresh_token: 'r', access_token: 'a', expires_at: 1 }]));
    assert.equal((await node.login('--start')).exit, 0);

    const began = Date.now();
    const [finished, refreshed, printed] = await Promise.all([node.login('--finish', 'code'), node.token('-local'), node.token()]);
    assert.ok(Date.now() - began < 20_000, `took ${Date.now() - began} ms`);
    assert.deepEqual(finished.json, { ok: false, error: 'server_unreachable' });
    assert.match(refreshed.json.error, /could not be reached/);
    assert.equal(printed.exit, 1);
    assert.ok(sockets.size > 0, 'the tools never connected');
  } finally {
    for (const socket of sockets) socket.destroy();
    silent.close();
  }
});

test('the client file: its location rules and what is wrong with it', async (t) => {
  const valid = { installed: { client_id: 'cid', client_secret: 's', project_id: 'p', auth_uri: 'https://auth.example/o', token_uri: 'https://token.example/t', redirect_uris: ['urn:ietf:wg:oauth:2.0:oob', 'http://127.0.0.1:8765/cb'] } };
  const cases = [
    { name: 'absent', content: null, error: 'client_missing' },
    { name: 'not JSON', content: '{"installed":', error: 'client_invalid' },
    { name: 'a web client', content: JSON.stringify({ web: valid.installed }), error: 'client_invalid' },
    { name: 'plain http token endpoint', content: JSON.stringify({ installed: { ...valid.installed, token_uri: 'http://token.example/t' } }), error: 'client_invalid' },
    { name: 'no secret', content: JSON.stringify({ installed: { ...valid.installed, client_secret: undefined } }), error: 'client_invalid' },
    { name: 'valid, first loopback redirect', content: JSON.stringify(valid), redirect: 'http://127.0.0.1:8765/cb' },
    { name: 'authorization address with a query', content: JSON.stringify({ installed: { ...valid.installed, auth_uri: 'https://auth.example/o?hd=corp.test' } }), redirect: 'http://127.0.0.1:8765/cb' },
    { name: 'moved with the accounts file', content: JSON.stringify(valid), redirect: 'http://127.0.0.1:8765/cb', creds: 'elsewhere/accounts.json' },
    { name: 'named by LUMENHOLLOW_CLIENT_PATH', content: JSON.stringify(valid), redirect: 'http://127.0.0.1:8765/cb', clientPath: 'mine/client.json' },
  ];
  for (const c of cases) {
    await t.test(c.name, async () => {
      const node = makeNode(null);
      let file = node.files.client;
      if (c.creds) {
        node.env.LUMENHOLLOW_CREDS_PATH = path.join(node.home, c.creds);
        file = path.join(node.home, path.dirname(c.creds), 'lumenhollow_client.json');
      }
      if (c.clientPath) file = node.env.LUMENHOLLOW_CLIENT_PATH = path.join(node.home, c.clientPath);
      if (c.content !== null) {
        fs.mkdirSync(path.dirname(file), { recursive: true });
        fs.writeFileSync(file, c.content);
      }
      const started = await node.login('--start');
      if (c.error) {
        assert.deepEqual(started.json, { ok: false, error: c.error });
        assert.equal(started.exit, 1);
        return;
      }
      assert.equal(started.exit, 0, started.stderr);
      const auth = new URL(started.json.auth_url);
      assert.equal(auth.origin + auth.pathname, 'https://auth.example/o');
      assert.equal(auth.searchParams.get('redirect_uri'), c.redirect);
      assert.doesNotMatch(started.json.auth_url, /&&|\?&/);
    });
  }
});

describe('as Google does: the code with its / raw or encoded, refresh tokens kept', () => {
  for (const codeSlash of ['raw', 'encoded']) {
    test(`a code sent with its / ${codeSlash} signs in pasted whole or bare; the operator's lines stay`, async () => {
      const standin = await startStandin({ codeSlash, project: 'standin-proj' });
      try {
        for (const paste of ['address', 'bare']) {
          const node = makeNode(standin);
          fs.mkdirSync(path.dirname(node.files.env), { recursive: true });
          fs.writeFileSync(node.files.env, 'GOOGLE_PROJECT_ID=operators-own\nOTHER=kept\n');
          const landing = await node.approveNew('ada');
          // The bare code as the console passes it: the value after "code=", as it stood.
          const bare = landing.match(/[?&]code=([^&#]*)/)[1];
          assert.match(bare, codeSlash === 'raw' ? /^4\/0A[\w-]{60,80}$/ : /^4%2F0A[\w-]{60,80}$/);
          const finished = await node.login('--finish', paste === 'address' ? landing : bare);
          assert.deepEqual(finished.json, { ok: true, email: 'ada@example.test' }, `${paste}: ${finished.stderr}`);
          assert.equal(node.read('env'), 'GOOGLE_PROJECT_ID=operators-own\nOTHER=kept\nGOOGLE_ACCOUNT=ada@example.test\n');
          const [account] = node.accounts();
          assert.match(`${account.access_token} ${account.refresh_token}`, /^ya29\.\S+ 1\/\/0\S+$/);
          // The server sends no refresh token back: the stored one stays and serves again.
          for (let i = 0; i < 2; i += 1) {
            const refreshed = await node.token('-local');
            assert.equal(refreshed.json.project_id, 'operators-own', refreshed.stderr);
            assert.equal(node.accounts()[0].refresh_token, account.refresh_token);
          }
        }
      } finally {
        await standin.stop();
      }
    });
  }

  test('a new accounts file is flushed to disk before it replaces the old one', async (t) => {
    try {
      execFileSync('strace', ['-V']);
    } catch {
      t.skip('strace is not installed');
      return;
    }
    const standin = await startStandin();
    try {
      const node = makeNode(standin);
      await node.signIn('ada');
      const trace = path.join(node.home, 'trace');
      // LeakSanitizer cannot run under ptrace; the sanitizer build's leak check is not wanted here.
      const env = { ...node.env, ASAN_OPTIONS: 'detect_leaks=0' };
      const traced = await run('strace', ['-f', '-e', 'trace=openat,fsync,rename', '-o', trace, tokenBin, '-local'], env);
      assert.equal(traced.exit, 0, traced.stderr);
      const lines = fs.readFileSync(trace, 'utf8').split('\n');
      const opened = lines.findIndex((l) => /openat\(.*\/\.lumenhollow_accounts\.json\.[^"]*".*= \d+$/.test(l));
      const renamed = lines.findIndex((l) => /rename\(.*"[^"]*\/lumenhollow_accounts\.json"\) = 0/.test(l));
      assert.ok(opened >= 0 && renamed > opened, lines.join('\n'));
      const fd = lines[opened].match(/= (\d+)$/)[1];
      assert.ok(
        lines.slice(opened, renamed).some((l) => l.includes(`fsync(${fd})`)),
        `no fsync of the new file before its rename:\n${lines.slice(opened, renamed + 1).join('\n')}`,
      );
    } finally {
      await standin.stop();
    }
  });
});

test("a token endpoint's answer is checked before anything is stored or shown", async (t) => {
  let answer;
  const server = http.createServer((req, res) => {
    req.resume();
    req.on('end', () => {
      res.writeHead(answer.status ?? 200, { 'content-type': 'application/json' });
      res.end(answer.body);
    });
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const base = `http://127.0.0.1:${server.address().port}`;
  const idToken = (email) =>
    `${[{ alg: 'RS256' }, { email }].map((part) => Buffer.from(JSON.stringify(part)).toString('base64url')).join('.')}.sig`;
  const grant = (fields) => ({
    body: JSON.stringify({ access_token: 'ya29.a0', refresh_token: '1//0r', expires_in: 3599, id_token: idToken('ada@x.test'), ...fields }),
  });
  const refused = (body) => ({ status: 400, body: JSON.stringify(body) });
  const yearFromNow = () => Date.now() / 1000 + 366 * 24 * 3600;
  // refresh: the token tool meets the same answer on a refresh.
  const cases = [
    { name: 'a plain grant', answer: grant({}), email: 'ada@x.test' },
    { name: 'an expiry past 64 bits', answer: { body: grant({}).body.replace('3599', '9223372036854775807') }, email: 'ada@x.test' },
    { name: 'a NUL in the e-mail', answer: grant({ id_token: idToken('eve@x\u0000GOOGLE_PROJECT_ID=evil') }), error: 'no_email' },
    { name: 'a trailing space in the e-mail', answer: grant({ id_token: idToken('b@x ') }), error: 'no_email' },
    { name: 'a line separator in the e-mail', answer: grant({ id_token: idToken('a@x\u2028') }), error: 'no_email' },
    { name: 'a next-line in the e-mail', answer: grant({ id_token: idToken('\u0085a@x') }), error: 'no_email' },
    { name: 'two @ in the e-mail', answer: grant({ id_token: idToken('a@b@x') }), error: 'no_email' },
    { name: 'an e-mail of 255 bytes', answer: grant({ id_token: idToken(`${'a'.repeat(250)}@x.io`) }), error: 'no_email' },
    { name: 'a newline in the access token', answer: grant({ access_token: 'ya29.a\nb' }), error: 'server_error', refresh: /answered with an error/ },
    { name: 'an escape in the refresh token', answer: grant({ refresh_token: '1//0\u001b[2J' }), error: 'server_error' },
    { name: 'an ID token of 20 kB', answer: grant({ id_token: `${idToken('a@x.io')}${'s'.repeat(20_000)}` }), error: 'server_error' },
    { name: 'the client refused', answer: { status: 401, body: '{"error":"invalid_client"}' }, error: 'client_invalid', refresh: /not a usable Desktop app client/ },
    { name: 'escapes in the error text', answer: refused({ error: 'invalid_request', error_description: 'a\u001b[2J\r\u0007\u009bz' }), error: 'server_error', refresh: /\(invalid_request: a\[2Jz\)$/ },
    { name: 'an answer over 1 MiB', answer: grant({ padding: 'p'.repeat(1100 * 1024) }), error: 'server_error', refresh: /answered with an error/ },
  ];
  try {
    for (const c of cases) {
      await t.test(c.name, async () => {
        answer = c.answer;
        const node = makeNode(null);
        fs.mkdirSync(path.dirname(node.files.client), { recursive: true });
        const client = { client_id: 'c', client_secret: 's', auth_uri: `${base}/auth`, token_uri: `${base}/token` };
        fs.writeFileSync(node.files.client, JSON.stringify({ installed: client }));
        assert.equal((await node.login('--start')).exit, 0);
        const finished = await node.login('--finish', 'code');
        assert.doesNotMatch(finished.stderr, /[\u0000-\u0009\u000b-\u001f\u007f-\u009f]/);
        if (c.error) {
          assert.deepEqual(finished.json, { ok: false, error: c.error }, finished.stderr);
          assert.ok(!fs.existsSync(node.files.accounts) && !fs.existsSync(node.files.env), 'something was stored');
        } else {
          assert.deepEqual(finished.json, { ok: true, email: c.email }, finished.stderr);
          const [account] = node.accounts();
          assert.ok(account.expires_at > Date.now() / 1000 && account.expires_at < yearFromNow(), `${account.expires_at}`);
          assert.equal((await node.login('--status')).json.expires_at, account.expires_at);
        }
        if (!c.refresh) return;
        const stored = JSON.stringify([{ email: 'ada@x.test', refresh_token: 'r', access_token: 'a', expires_at: 1 }]);
        fs.writeFileSync(node.files.accounts, stored);
        const refreshed = await node.token('-local');
        assert.equal(refreshed.exit, 1);
        assert.match(refreshed.json.error, c.refresh);
        assert.doesNotMatch(refreshed.stdout + refreshed.stderr, /[\u0000-\u0009\u000b-\u001f\u007f-\u009f]/);
        assert.equal(node.read('accounts'), stored);
      });
    }
  } finally {
    server.close();
  }
});
