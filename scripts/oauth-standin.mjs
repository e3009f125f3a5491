#!/usr/bin/env node
// A local sign-in server that behaves like Google's for an installed ("Desktop app") client, so the
// login and token tools, the demo and the browser tests run against real OAuth 2.0 and OpenID
// Connect without any network.
//
//   node scripts/oauth-standin.mjs --port PORT --client-out FILE
//        [--rotate-refresh yes|no] [--code-slash raw|encoded] [--access-ttl SECONDS] [--project ID]
//
// What it hands out has Google's shapes: codes 4/0A..., access tokens ya29...., refresh tokens
// 1//0.... The '/' of a code reaches the redirect raw or as %2F (--code-slash), as Google's does.
// Like Google it refuses a code exchange without redirect_uri, keeps a refresh token (and sends
// none back on a refresh) unless --rotate-refresh yes.
//
// It writes the client file to FILE (mode 0600), prints one line
// {"ready":true,"issuer":"http://127.0.0.1:PORT","port":PORT} and serves until SIGTERM or SIGINT.
// Its own login page takes any login and password: a login holding "@" is the account's e-mail,
// any other becomes LOGIN@example.test.
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';

const cloudScope = 'https://www.googleapis.com/auth/cloud-platform';

function usage(message) {
  process.stderr.write(
    `${message}\nusage: oauth-standin.mjs --port PORT --client-out FILE ` +
      '[--rotate-refresh yes|no] [--code-slash raw|encoded] [--access-ttl SECONDS] [--project ID]\n',
  );
  process.exit(2);
}

function parseArgs(argv) {
  const options = {
    port: null,
    clientOut: null,
    rotate: false,
    codeSlash: 'raw',
    accessTtlSeconds: 3600,
    project: 'standin-project',
  };
  for (let i = 0; i < argv.length; i += 1) {
    const name = argv[i];
    const value = argv[i + 1];
    if (value === undefined) usage(`${name} needs a value`);
    i += 1;
    if (name === '--port') options.port = Number(value);
    else if (name === '--client-out') options.clientOut = value;
    else if (name === '--rotate-refresh') {
      if (value !== 'yes' && value !== 'no') usage('--rotate-refresh takes yes or no');
      options.rotate = value === 'yes';
    } else if (name === '--code-slash') {
      if (value !== 'raw' && value !== 'encoded') usage('--code-slash takes raw or encoded');
      options.codeSlash = value;
    } else if (name === '--access-ttl') options.accessTtlSeconds = Number(value);
    else if (name === '--project') options.project = value;
    else usage(`unknown option ${name}`);
  }
  if (!Number.isInteger(options.port) || options.port < 0 || options.port > 65535) usage('--port is required (0 picks a free one)');
  if (!options.clientOut) usage('--client-out is required');
  if (!Number.isInteger(options.accessTtlSeconds) || options.accessTtlSeconds < 1) usage('--access-ttl takes whole seconds');
  return options;
}

function emailFor(login) {
  return login.includes('@') ? login : `${login}@example.test`;
}

function writeClientFile(file, client, issuer, project) {
  const document = {
    installed: {
      client_id: client.client_id,
      project_id: project,
      auth_uri: `${issuer}/auth`,
      token_uri: `${issuer}/token`,
      revoke_uri: `${issuer}/token/revocation`,
      client_secret: client.client_secret,
      redirect_uris: client.redirect_uris,
    },
  };
  fs.mkdirSync(path.dirname(path.resolve(file)), { recursive: true, mode: 0o700 });
  fs.writeFileSync(file, `${JSON.stringify(document, null, 2)}\n`, { mode: 0o600 });
  fs.chmodSync(file, 0o600);
}

function configuration(client, options) {
  const signingKey = crypto.generateKeyPairSync('rsa', { modulusLength: 2048 }).privateKey.export({ format: 'jwk' });
  return {
    clients: [client],
    jwks: { keys: [{ ...signingKey, use: 'sig', alg: 'RS256', kid: 'standin' }] },
    cookies: { keys: [crypto.randomBytes(32).toString('base64url')] },
    scopes: ['openid', 'email', 'offline_access', cloudScope],
    claims: { openid: ['sub'], email: ['email', 'email_verified'] },
    // Google puts the e-mail into the ID token of a code exchange; by default only userinfo has it.
    conformIdTokenClaims: false,
    extraParams: ['access_type'],
    pkce: { required: () => true },
    // Google hands out a refresh token for access_type=offline without an offline_access scope.
    issueRefreshToken: async (_ctx, c) => c.grantTypeAllowed('refresh_token'),
    // Not bound to the browser session: the node keeps signing in long after the tab is closed.
    expiresWithSession: async () => false,
    rotateRefreshToken: () => options.rotate,
    ttl: {
      AccessToken: options.accessTtlSeconds,
      AuthorizationCode: 600,
      IdToken: 3600,
      RefreshToken: 14 * 24 * 3600,
      Interaction: 3600,
      Session: 24 * 3600,
      Grant: 14 * 24 * 3600,
    },
    features: {
      devInteractions: { enabled: true },
      revocation: { enabled: true },
    },
    findAccount: async (_ctx, sub) => ({
      accountId: sub,
      claims: async () => ({ sub, email: emailFor(sub), email_verified: true }),
    }),
  };
}

// What the provider issues, renamed to Google's shapes on the way out and back on the way in.
const urlSafe = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_';
const randomUrlSafe = (length) => Array.from(crypto.randomBytes(length), (b) => urlSafe[b & 63]).join('');
const googleShapes = {
  code: () => `4/0A${randomUrlSafe(60 + crypto.randomInt(21))}`,
  access: () => `ya29.a0${randomUrlSafe(150)}`,
  refresh: () => `1//0${randomUrlSafe(100)}`,
};
const aliasOf = new Map();
const realOf = new Map();
function alias(real, shape) {
  if (!aliasOf.has(real)) {
    const made = googleShapes[shape]();
    aliasOf.set(real, made);
    realOf.set(made, real);
  }
  return aliasOf.get(real);
}
const real = (value) => realOf.get(value) ?? value;

function readBody(req) {
  return new Promise((resolve, reject) => {
    const chunks = [];
    req.on('data', (chunk) => chunks.push(chunk));
    req.on('end', () => resolve(Buffer.concat(chunks).toString()));
    req.on('error', reject);
  });
}

function sendJson(res, status, document) {
  const body = JSON.stringify(document);
  res.writeHead(status, { 'content-type': 'application/json; charset=utf-8', 'content-length': Buffer.byteLength(body) });
  res.end(body);
}

// The redirect back to the client carries a Google-shaped code, its '/' raw or encoded.
function rewriteRedirects(res, issuer, codeSlash) {
  const setHeader = res.setHeader.bind(res);
  res.setHeader = (name, value) => {
    const toClient = typeof value === 'string' && !value.startsWith(issuer) && /[?&]code=/.test(value);
    if (name.toLowerCase() !== 'location' || !toClient) {
      return setHeader(name, value);
    }
    const [base, query = ''] = value.split('?', 2);
    const pairs = query.split('&').map((pair) => {
      if (!pair.startsWith('code=')) return pair;
      const code = alias(decodeURIComponent(pair.slice(5)), 'code');
      return `code=${codeSlash === 'raw' ? code : code.replaceAll('/', '%2F')}`;
    });
    return setHeader(name, `${base}?${pairs.join('&')}`);
  };
}

// A token answer with Google-shaped tokens; a refresh token that did not change is left out.
function rewriteTokenAnswer(res, spentRefresh) {
  const end = res.end.bind(res);
  res.end = (chunk, ...rest) => {
    if (!chunk || res.statusCode !== 200) return end(chunk, ...rest);
    const answer = JSON.parse(chunk.toString());
    answer.access_token = alias(answer.access_token, 'access');
    if (answer.refresh_token === spentRefresh) delete answer.refresh_token;
    else if (answer.refresh_token) answer.refresh_token = alias(answer.refresh_token, 'refresh');
    const body = JSON.stringify(answer);
    res.setHeader('content-length', Buffer.byteLength(body));
    return end(body, ...rest);
  };
}

function googleShaped(provider, issuer, options) {
  const callback = provider.callback();
  return async (req, res) => {
    const { pathname } = new URL(req.url, issuer);
    if (req.method !== 'POST' || (pathname !== '/token' && pathname !== '/token/revocation')) {
      rewriteRedirects(res, issuer, options.codeSlash);
      callback(req, res);
      return;
    }
    const form = new URLSearchParams(await readBody(req));
    if (pathname === '/token' && form.get('grant_type') === 'authorization_code' && !form.has('redirect_uri')) {
      sendJson(res, 400, { error: 'invalid_request', error_description: 'Missing required parameter: redirect_uri' });
      return;
    }
    for (const name of ['code', 'refresh_token', 'token']) {
      if (form.has(name)) form.set(name, real(form.get(name)));
    }
    // The provider reads an already-read body from here.
    req.body = form.toString();
    if (pathname === '/token') rewriteTokenAnswer(res, form.get('refresh_token'));
    callback(req, res);
  };
}

async function main() {
  const options = parseArgs(process.argv.slice(2));
  // The library's notices go to stdout; the ready line must be the only thing there.
  console.info = console.error;
  console.log = console.error;
  const { default: Provider } = await import('oidc-provider');
  const http = await import('node:http');

  const server = http.createServer();
  await new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(options.port, '127.0.0.1', resolve);
  });
  const { port } = server.address();
  const issuer = `http://127.0.0.1:${port}`;
  const client = {
    client_id: `${crypto.randomBytes(6).toString('hex')}.apps.standin.test`,
    client_secret: crypto.randomBytes(18).toString('base64url'),
    application_type: 'native',
    redirect_uris: ['http://localhost'],
    token_endpoint_auth_method: 'client_secret_post',
    grant_types: ['authorization_code', 'refresh_token'],
    response_types: ['code'],
  };
  const provider = new Provider(issuer, configuration(client, options));
  server.on('request', googleShaped(provider, issuer, options));

  writeClientFile(options.clientOut, client, issuer, options.project);
  process.stdout.write(`${JSON.stringify({ ready: true, issuer, port })}\n`);

  // Everything lives in memory, so there is nothing to flush: stop at once.
  process.on('SIGTERM', () => process.exit(0));
  process.on('SIGINT', () => process.exit(0));
}

main().catch((error) => {
  process.stderr.write(`oauth-standin: ${error.stack || error}\n`);
  process.exit(1);
});
