// One short set of requests behind each documented web server, started from deploy/.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { servers, startServer, password, code } from './servers.mjs';

const route = '/plugin_lumenhollow_login';
const refusal = '{"ok":false,"error":"invalid node password"}\n';
const withHeader = { 'X-Bot-Password': password };

const requests = [
  { name: 'page', path: route, headers: withHeader, status: 200, type: 'text/html', body: '<!DOCTYPE html>' },
  { name: 'status', path: `${route}?action=status`, headers: withHeader, status: 200, body: '"logged_in":true' },
  { name: 'bearer carrier', path: `${route}?action=status`, headers: { Authorization: `Bearer ${password}` }, status: 200, body: '"ok":true' },
  { name: 'pwd carrier', path: `${route}?action=status&pwd=${password}`, status: 200, body: '"ok":true' },
  { name: 'wrong password', path: `${route}?action=status`, headers: { 'X-Bot-Password': 'guess' }, status: 401, exact: refusal },
  { name: 'no password', path: route, status: 401, exact: refusal },
  {
    name: 'finish with a JSON body',
    path: `${route}?action=finish`,
    method: 'POST',
    headers: { ...withHeader, 'Content-Type': 'application/json' },
    data: JSON.stringify({ code }),
    status: 200,
    body: '"state":"done"',
  },
  { name: 'hub route', path: `/plugins?plugin=google&action=status&pwd=${password}`, status: 200, body: '"cli_present":true' },
  { name: '?--version without password', path: `${route}?--version`, status: 401, exact: refusal },
  { name: '?--meta without password', path: `${route}?--meta`, status: 401, exact: refusal },
];

for (const kind of servers) {
  test(`behind ${kind}`, async (t) => {
    const server = await startServer(kind);
    t.after(() => server.stop());

    for (const r of requests) {
      await t.test(r.name, async () => {
        const answer = await fetch(server.origin + r.path, {
          method: r.method || 'GET',
          headers: r.headers,
          body: r.data,
          redirect: 'manual',
        });
        const text = await answer.text();
        const seen = `${answer.status} ${text.slice(0, 300)}\n${server.errors()}`;
        assert.equal(answer.status, r.status, seen);
        assert.ok(answer.headers.get('content-type').startsWith(r.type || 'application/json'), seen);
        if (r.exact) assert.equal(text, r.exact);
        if (r.body) assert.ok(text.includes(r.body), seen);
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
