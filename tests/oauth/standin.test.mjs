// The stand-in must hold the tools to what Google holds them to: PKCE and the client secret. What
// the tools meet in a sign-in (one use per code, rotation, revocation, the e-mail in the ID token)
// is proven by the tool tests against the same server.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import fs from 'node:fs';
import { after, before, describe, test } from 'node:test';
import { approve } from './consent.mjs';
import { startStandin } from './standin.mjs';
import { postForm } from './tools.mjs';

const cloudScope = 'https://www.googleapis.com/auth/cloud-platform';

function pkcePair() {
  const verifier = crypto.randomBytes(32).toString('base64url');
  return { verifier, challenge: crypto.createHash('sha256').update(verifier).digest('base64url') };
}

function authUrl(client, { challenge, state = 'st4te' }) {
  const url = new URL(client.auth_uri);
  const params = {
    client_id: client.client_id,
    redirect_uri: client.redirect_uris[0],
    response_type: 'code',
    scope: `openid email ${cloudScope}`,
    state,
    access_type: 'offline',
    prompt: 'consent',
  };
  if (challenge) Object.assign(params, { code_challenge: challenge, code_challenge_method: 'S256' });
  for (const [k, v] of Object.entries(params)) url.searchParams.set(k, v);
  return url.href;
}

async function signIn(client, login, pair = pkcePair()) {
  const landing = new URL(await approve(authUrl(client, { challenge: pair.challenge }), { login }));
  return { code: landing.searchParams.get('code'), verifier: pair.verifier };
}

function exchange(client, code, verifier, overrides = {}) {
  return postForm(client.token_uri, {
    grant_type: 'authorization_code',
    code,
    code_verifier: verifier,
    redirect_uri: client.redirect_uris[0],
    client_id: client.client_id,
    client_secret: client.client_secret,
    ...overrides,
  });
}

describe('stand-in', () => {
  let standin;
  let client;
  before(async () => {
    standin = await startStandin({ project: 'proj-7' });
    client = JSON.parse(fs.readFileSync(standin.clientFile, 'utf8')).installed;
  });
  after(() => standin.stop());

  test('writes a private Desktop-app client file', () => {
    assert.equal(fs.statSync(standin.clientFile).mode & 0o777, 0o600);
    assert.equal(client.project_id, 'proj-7');
    assert.deepEqual(client.redirect_uris, ['http://localhost']);
    assert.equal(client.token_uri, `${standin.issuer}/token`);
  });

  test('rejects token requests that break PKCE or the client secret', async (t) => {
    const cases = [
      { name: 'verifier of another start', overrides: { code_verifier: pkcePair().verifier }, error: 'invalid_grant' },
      { name: 'no verifier', overrides: { code_verifier: undefined }, error: 'invalid_grant' },
      { name: 'wrong secret', overrides: { client_secret: 'guess' }, error: 'invalid_client' },
      { name: 'other redirect', overrides: { redirect_uri: 'http://localhost:9/' }, error: 'invalid_grant' },
    ];
    for (const c of cases) {
      await t.test(c.name, async () => {
        const { code, verifier } = await signIn(client, 'ada');
        const fields = { ...c.overrides };
        for (const k of Object.keys(fields)) if (fields[k] === undefined) fields[k] = '';
        const answer = await exchange(client, code, verifier, fields);
        assert.equal(answer.status >= 400, true);
        assert.equal(answer.body.error, c.error);
      });
    }
  });

  test('an authorization request without a code challenge comes back refused', async () => {
    const landing = new URL(await approve(authUrl(client, {}), { login: 'ada' }));
    assert.equal(landing.searchParams.get('error'), 'invalid_request');
    assert.equal(landing.searchParams.get('code'), null);
  });
});
