// The theme shell as the program serves it: early choice, embedded mode, the window interface and
// the frame handshake.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { loaded, pageSuite } from './page_helpers.mjs';

const suite = pageSuite();
const { withPage } = suite;

const theme = (page) => page.evaluate(() => document.documentElement.getAttribute('data-theme'));
const storedTheme = (page) => page.evaluate(() => localStorage.getItem('bot_theme'));

describe('early theme choice', () => {
  const cases = [
    { name: 'query light beats a stored dark', stored: 'dark', query: '?theme=light', want: 'light' },
    { name: 'query dark beats a light system', scheme: 'light', query: '?theme=dark', want: 'dark' },
    { name: 'the query word has no end check', stored: 'light', query: '?x=1&theme=darkest', want: 'dark' },
    { name: 'a stored theme beats the system', stored: 'light', scheme: 'dark', want: 'light' },
    { name: 'an unknown stored value is ignored', stored: 'blue', scheme: 'light', want: 'light' },
    { name: 'light system preference', scheme: 'light', want: 'light' },
    { name: 'dark system preference', scheme: 'dark', want: 'dark' },
    { name: 'a failing media query falls back to dark', scheme: 'light', breakMedia: true, want: 'dark' },
  ];
  for (const c of cases) {
    test(c.name, () =>
      withPage({ colorScheme: c.scheme ?? 'light' }, async (page) => {
        if (c.breakMedia) {
          await page.addInitScript(() => {
            window.matchMedia = () => {
              throw new Error('no media queries here');
            };
          });
        }
        await page.goto(suite.stack.direct);
        await page.evaluate((v) => (v ? localStorage.setItem('bot_theme', v) : localStorage.clear()), c.stored);
        await page.goto(suite.stack.direct + (c.query ?? ''));
        assert.equal(await theme(page), c.want);
        assert.equal(await storedTheme(page), c.want, 'the choice is remembered');
        // Remembered: a later load without the key keeps it.
        await page.goto(suite.stack.direct);
        assert.equal(await theme(page), c.want);
      }),
    );
  }
});

test('a storage that throws leaves the page working', () =>
  withPage({ colorScheme: 'light' }, async (page) => {
    await page.addInitScript(() => {
      Object.defineProperty(window, 'localStorage', {
        get() {
          throw new DOMException('storage is disabled', 'SecurityError');
        },
      });
    });
    const calls = [];
    page.on('request', (r) => r.resourceType() === 'fetch' && calls.push(r));
    await page.goto(suite.stack.direct);
    assert.equal(await theme(page), 'light');
    await loaded(page);
    assert.equal(calls.length, 1);
    assert.equal(calls[0].headers()['x-bot-password'], undefined);
    await page.evaluate(() => window.qvApplyTheme('dark'));
    assert.equal(await theme(page), 'dark');
  }));

describe('embedded mode', () => {
  const cases = [
    { query: '?embed=1', embedded: true },
    { query: '?embed=true&theme=light', embedded: true },
    { query: '?embed=yes', embedded: false },
    { query: '?embed=10', embedded: false },
    { query: '', embedded: false },
  ];
  for (const c of cases) {
    test(`${c.query || 'no query'} ${c.embedded ? 'hides' : 'keeps'} the theme button`, () =>
      withPage({}, async (page) => {
        await page.goto(suite.stack.direct + c.query);
        const cls = await page.evaluate(() => document.documentElement.classList.contains('embedded'));
        assert.equal(cls, c.embedded);
        assert.equal(await page.locator('#themeToggle').isVisible(), !c.embedded);
      }),
    );
  }
});

test('qvApplyTheme ignores other words and unchanged themes', () =>
  withPage({ colorScheme: 'dark' }, async (page) => {
    await page.goto(suite.stack.direct);
    const result = await page.evaluate(() => {
      const events = [];
      window.addEventListener('bot-theme', (e) => events.push(e.detail));
      localStorage.setItem('bot_theme', 'marker');
      window.qvApplyTheme('blue');
      window.qvApplyTheme('dark');
      const untouched = [window.qvTheme(), localStorage.getItem('bot_theme'), events.length];
      window.qvApplyTheme('light');
      return { untouched, after: [window.qvTheme(), localStorage.getItem('bot_theme'), events] };
    });
    assert.deepEqual(result.untouched, ['dark', 'marker', 0]);
    assert.deepEqual(result.after, ['light', 'light', ['light']]);
  }));

test('the theme button switches between light and dark', () =>
  withPage({ colorScheme: 'dark' }, async (page) => {
    await page.goto(suite.stack.direct);
    await page.click('#themeToggle');
    assert.equal(await theme(page), 'light');
    assert.equal(await storedTheme(page), 'light');
    const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
    assert.equal(background, 'rgb(245, 245, 247)');
    await page.click('#themeToggle');
    assert.equal(await theme(page), 'dark');
  }));

// The host must be a real loopback server: Chromium refuses to let a page it believes public
// (a route-fulfilled one) frame a loopback address.
async function startHost(html) {
  const server = http.createServer((req, res) => {
    res.writeHead(200, { 'Content-Type': 'text/html' });
    res.end(html);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { origin: `http://127.0.0.1:${server.address().port}`, close: () => server.close() };
}

test('a framed page asks its host once and follows its qv-theme answer', async () => {
  // Another origin (another port): the page must accept the host's answer all the same.
  const host = await startHost(`<!DOCTYPE html><title>host</title><script>
    window.asked = [];
    addEventListener('message', (e) => {
      if (e.data && e.data.type === 'qv-theme-request') {
        asked.push(e.origin);
        e.source.postMessage({ type: 'qv-theme', theme: 'light' }, '*');
      }
    });
  </script><iframe src="${suite.stack.direct}"></iframe>`);
  try {
    await withPage({ colorScheme: 'dark' }, async (page) => {
      await page.goto(host.origin);
      const frame = page.frameLocator('iframe');
      await frame.locator('html[data-theme="light"]').waitFor({ state: 'attached' });
      assert.deepEqual(await page.evaluate(() => window.asked), [suite.stack.origin]);
    });
  } finally {
    host.close();
  }
});

test('a top-level page posts no theme request', () =>
  withPage({}, async (page) => {
    await page.addInitScript(() => {
      window.seen = [];
      addEventListener('message', (e) => window.seen.push(e.data && e.data.type));
    });
    await page.goto(suite.stack.direct);
    // Messages to a window arrive in order, so once this one is in, any earlier post is too.
    await page.evaluate(() => window.postMessage({ type: 'sentinel' }, '*'));
    await page.waitForFunction(() => window.seen.includes('sentinel'));
    assert.deepEqual(await page.evaluate(() => window.seen), ['sentinel']);
  }));
