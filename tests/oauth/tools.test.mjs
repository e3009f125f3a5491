// The login and token tools against the local sign-in server: the whole sign-in, then what users
// run into (codes used twice or from another start, a cancelled or lapsed sign-in, a revoked or
// rotated refresh token, a server that never answers, concurrent runs, a crash mid-write).
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { approve } from './consent.mjs';
import { startStandin } from './standin.mjs';
import { makeNode, postForm } from './tools.mjs';

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
    standin = await startStandin({ accessTtlSeconds: 3600, project: 'proj-7' });
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
      });
    }
  });

  test('a code from an earlier start, or used twice, is refused and the sign-in stays pending', async () => {
    const node = makeNode(standin);
    const earlier = new URL(await node.approveNew('ada')).searchParams.get('code');
    const current = await node.approveNew('ada');

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
