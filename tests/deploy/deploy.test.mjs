// One short set of requests behind each documented web server, started from deploy/.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { servers, startServer, password, code } from './servers.mjs';

const route = '/plugin_lumenhollow_login';
const status = `${route}?action=status`;
const refusal = '{"ok":false,"error":"invalid node password"}\n';
const header = { 'X-Bot-Password': password };
const finish = { method: 'POST', body: JSON.stringify({ code }) };

// name, path, request headers, HTTP status, a piece of the body (a refusal whole), request options
const requests = [
  ['page', route, header, 200, '<!DOCTYPE html>'],
  ['status', status, header, 200, '"logged_in":true'],
  ['bearer carrier', status, { Authorization: `Bearer ${password}` }, 200, '"ok":true'],
  ['pwd carrier', `${status}&pwd=${password}`, {}, 200, '"ok":true'],
  ['wrong password', status, { 'X-Bot-Password': 'guess' }, 401, refusal],
  ['no password', route, {}, 401, refusal],
  ['finish with a JSON body', `${route}?action=finish`, header, 200, '"state":"done"', finish],
  ['hub route', `/plugins?plugin=google&action=status&pwd=${password}`, {}, 200, '"ok":true'],
  ['?--version without password', `${route}?--version`, {}, 401, refusal],
  ['?--meta without password', `${route}?--meta`, {}, 401, refusal],
];

for (const kind of servers) {
  test(`behind ${kind}`, async (t) => {
    const server = await startServer(kind);
    t.after(() => server.stop());

    for (const [name, path, headers, want, piece, options] of requests) {
      await t.test(name, async () => {
        const answer = await fetch(server.origin + path, { headers, ...options });
        const text = await answer.text();
        const seen = `${answer.status} ${text.slice(0, 300)}\n${server.errors()}`;
        assert.equal(answer.status, want, seen);
        const type = piece.startsWith('<!DOCTYPE') ? 'text/html' : 'application/json';
        assert.ok(answer.headers.get('content-type').startsWith(type), seen);
        if (piece === refusal) assert.equal(text, refusal);
        else assert.ok(text.includes(piece), seen);
      });
    }

    await t.test('the login CLI got the code from the body', () => {
      const calls = fs.readFileSync(server.node.calls, 'utf8').split('\n');
      assert.ok(calls.includes(`--finish ${code}`), calls.join('\n'));
    });

    await t.test('no access log holds the password', () => {
      const logs = server.accessLogs();
      // The requests must have been logged somewhere, or the check below would prove nothing.
      assert.ok(logs.some((log) => log.text.includes(route)), JSON.stringify(logs));
      for (const log of logs) assert.ok(!log.text.includes(password), `${log.name}:\n${log.text}`);
    });
  });
}
