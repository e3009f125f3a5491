// The stored accounts managed with the tools against the local sign-in server: list, switch and
// sign out (with revocation at the server, and without when it cannot be reached), a whole sign-in
// at a terminal, and the account handed to Google's own client library for Node.
import assert from 'node:assert/strict';
import { execFile, spawn } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { approve } from './consent.mjs';
import { startStandin } from './standin.mjs';
import { loginBin, makeNode, postForm } from './tools.mjs';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');

// The login tool in --interactive mode on a pseudo-terminal (util-linux's script), typed at.
function startInteractive(node) {
  const child = spawn('script', ['-qefc', `exec ${loginBin} --interactive`, '/dev/null'], { env: node.env });
  let output = '';
  child.stdout.on('data', (chunk) => {
    output += chunk;
  });
  const exited = new Promise((resolve) => child.once('exit', (code) => resolve(code)));
  return {
    output: () => output,
    type: (text) => child.stdin.write(text),
    async waitFor(pattern, after = 0) {
      for (let waited = 0; !pattern.test(output.slice(after)); waited += 50) {
        if (waited > 20_000 || child.exitCode !== null) throw new Error(`no ${pattern} in:\n${output}`);
        await new Promise((resolve) => setTimeout(resolve, 50));
      }
      return output.length;
    },
    async exit() {
      const code = await exited;
      child.stdin.end();
      return code;
    },
  };
}

// Google's client library for Node, in a process of its own that sees only this node's home, as a
// program on the node would. It refreshes at oauth2TokenUrl, its documented setting for the token
// endpoint, since it does not read token_uri from the file.
function adcClient(node, tokenUri, keyFilename) {
  const script = `
    import { GoogleAuth } from 'google-auth-library';
    const auth = new GoogleAuth({ keyFilename: process.argv[1] || undefined,
                                  clientOptions: { endpoints: { oauth2TokenUrl: process.argv[2] } } });
    try {
      const client = await auth.getClient();
      const { token } = await client.getAccessToken();
      console.log(JSON.stringify({ kind: client.constructor.name, quota: client.quotaProjectId, token }));
    } catch (error) {
      console.log(JSON.stringify({ error: error.response?.data?.error ?? String(error) }));
    }`;
  return new Promise((resolve, reject) => {
    execFile(
      process.execPath,
      ['--input-type=module', '-e', script, keyFilename ?? '', tokenUri],
      { cwd: root, env: { PATH: process.env.PATH, HOME: node.home } },
      (error, stdout, stderr) => (error ? reject(new Error(stderr)) : resolve(JSON.parse(stdout))),
    );
  });
}

describe('against the stand-in', () => {
  let standin;
  before(async () => {
    standin = await startStandin({ project: 'proj-7' });
  });
  after(() => standin.stop());

  test('list, select and sign out keep the selection and the environment file in step', async () => {
    const node = makeNode(standin);
    await node.signIn('ada');
    await node.signIn('grace');
    const [ada, grace] = node.accounts();

    const listed = await node.login('--list');
    assert.deepEqual(listed.json, {
      ok: true,
      selected: 'grace@example.test',
      accounts: [ada, grace].map((a) => ({ email: a.email, has_refresh: true, expires_at: a.expires_at, scope: a.scope })),
    });
    for (const secret of [ada.refresh_token, ada.access_token, grace.refresh_token, grace.access_token]) {
      assert.ok(!listed.stdout.includes(secret), 'a token was listed');
    }

    const unknown = await node.login('--select', 'nobody@example.test');
    assert.equal(unknown.exit, 1);
    assert.deepEqual(unknown.json, { ok: false, error: 'unknown_account' });
    assert.deepEqual((await node.login('--select', 'ada@example.test')).json, { ok: true, selected: 'ada@example.test' });
    assert.equal(node.read('selected'), 'ada@example.test\n');
    assert.equal(node.read('env'), 'GOOGLE_ACCOUNT=ada@example.test\nGOOGLE_PROJECT_ID=proj-7\n');

    // Without an e-mail the selected account goes, and the node moves to the one that is left.
    const spent = node.accounts()[0].refresh_token;
    const signedOut = await node.login('--logout');
    assert.equal(signedOut.exit, 0, signedOut.stderr);
    assert.deepEqual(signedOut.json, { ok: true, email: 'ada@example.test', revoked: true, selected: 'grace@example.test', adc_removed: [] });
    assert.deepEqual(node.accounts().map((a) => a.email), ['grace@example.test']);
    assert.equal(node.read('selected'), 'grace@example.test\n');
    assert.equal(node.read('env'), 'GOOGLE_ACCOUNT=grace@example.test\nGOOGLE_PROJECT_ID=proj-7\n');
    const client = node.client();
    const refused = await postForm(`${standin.issuer}/token`, {
      grant_type: 'refresh_token',
      refresh_token: spent,
      client_id: client.client_id,
      client_secret: client.client_secret,
    });
    assert.equal(refused.status, 400);
    assert.equal(refused.body.error, 'invalid_grant');

    const last = await node.login('--logout', 'grace@example.test');
    assert.deepEqual(last.json, { ok: true, email: 'grace@example.test', revoked: true, selected: '', adc_removed: [] });
    assert.deepEqual(node.accounts(), []);
    assert.ok(!fs.existsSync(node.files.selected));
    assert.equal(node.read('env'), 'GOOGLE_PROJECT_ID=proj-7\n');
    assert.deepEqual((await node.login('--logout')).json, { ok: false, error: 'no_account' });
    assert.deepEqual((await node.login('--logout', 'ada@example.test')).json, { ok: false, error: 'unknown_account' });
  });

  test('sign-out removes the account also when the server does not confirm the revocation', async (t) => {
    const closed = net.createServer();
    await new Promise((resolve) => closed.listen(0, '127.0.0.1', resolve));
    const closedPort = closed.address().port;
    await new Promise((resolve) => closed.close(resolve));
    const cases = [
      { name: 'server unreachable', client: (c) => ({ ...c, revoke_uri: `http://127.0.0.1:${closedPort}/revoke` }) },
      { name: 'server refuses the client', client: (c) => ({ ...c, client_secret: 'wrong' }) },
    ];
    for (const c of cases) {
      await t.test(c.name, async () => {
        const node = makeNode(standin);
        fs.writeFileSync(node.files.client, JSON.stringify({ installed: c.client(node.client()) }));
        fs.writeFileSync(node.files.accounts, JSON.stringify([{ email: 'ada@example.test', refresh_token: 'r', access_token: 'a', expires_at: 1 }]));
        const signedOut = await node.login('--logout');
        assert.equal(signedOut.exit, 0, signedOut.stderr);
        assert.deepEqual(signedOut.json, { ok: true, email: 'ada@example.test', revoked: false, selected: '', adc_removed: [] });
        assert.match(signedOut.stderr, /not confirmed.*https:\/\/myaccount\.google\.com\/connections/);
        assert.deepEqual(node.accounts(), []);
      });
    }
  });

  test("the ADC file is read by Google's client library for Node and removed at sign-out", async () => {
    const node = makeNode(standin);
    await node.signIn('ada');
    const written = await node.token('--write-adc');
    const adcPath = path.join(node.home, '.config/gcloud/application_default_credentials.json');
    assert.equal(written.exit, 0, written.stderr);
    assert.deepEqual(written.json, { ok: true, path: adcPath, email: 'ada@example.test' });
    assert.equal(fs.statSync(adcPath).mode & 0o777, 0o600);
    const adc = JSON.parse(fs.readFileSync(adcPath, 'utf8'));
    const client = node.client();
    assert.deepEqual(adc, {
      type: 'authorized_user',
      client_id: client.client_id,
      client_secret: client.client_secret,
      refresh_token: node.accounts()[0].refresh_token,
      quota_project_id: 'proj-7',
      token_uri: client.token_uri,
    });

    // Found where the library looks by default, and refreshed at the stand-in.
    const used = await adcClient(node, adc.token_uri);
    assert.equal(used.kind, 'UserRefreshClient');
    assert.equal(used.quota, 'proj-7');
    assert.ok(used.token, JSON.stringify(used));

    // A second file that someone later replaced is not ours to remove.
    const other = path.join(node.home, 'elsewhere/adc.json');
    assert.equal((await node.token('--write-adc', other)).exit, 0);
    fs.writeFileSync(other, '{"type":"service_account"}');
    const signedOut = await node.login('--logout');
    assert.deepEqual(signedOut.json.adc_removed, [adcPath]);
    assert.ok(!fs.existsSync(adcPath));
    assert.equal(fs.readFileSync(other, 'utf8'), '{"type":"service_account"}');

    // The revoked token, handed to the library once more, fails at the server.
    const kept = path.join(node.home, 'kept.json');
    fs.writeFileSync(kept, JSON.stringify(adc));
    assert.deepEqual(await adcClient(node, adc.token_uri, kept), { error: 'invalid_grant' });
  });

  test('a sign-in at a terminal, and its cancellation', async (t) => {
    const cases = [
      { name: 'pasted address', signedIn: true },
      { name: 'Ctrl-C', keys: '\x03', words: /Interrupted\. The sign-in was cancelled/ },
      { name: 'end of input', keys: '\x04', words: /No answer came\. The sign-in was cancelled/ },
    ];
    for (const c of cases) {
      await t.test(c.name, async () => {
        const node = makeNode(standin);
        const terminal = startInteractive(node);
        let seen = await terminal.waitFor(/Address or code: $/);
        assert.ok(fs.existsSync(node.files.pending));
        if (c.signedIn) {
          const address = terminal.output().match(/^ {2}(http\S+)/m)[1];
          const landing = await approve(address, { login: 'ada' });
          // A paste without a code asks again.
          terminal.type('http://localhost/?state=x\n');
          seen = await terminal.waitFor(/no authorization code was given[\s\S]*Address or code: $/, seen);
          terminal.type(`${landing}\n`);
          assert.equal(await terminal.exit(), 0, terminal.output());
          assert.match(terminal.output(), /Signed in as ada@example\.test\. The node now uses this account\./);
          assert.deepEqual(node.accounts().map((a) => a.email), ['ada@example.test']);
        } else {
          terminal.type(c.keys);
          assert.equal(await terminal.exit(), 1, terminal.output());
          assert.match(terminal.output(), c.words);
        }
        assert.ok(!fs.existsSync(node.files.pending), 'the sign-in is still pending');
        assert.doesNotMatch(terminal.output(), /"ok"/);
      });
    }
  });
});
