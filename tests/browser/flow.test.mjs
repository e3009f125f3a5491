// The console end to end: the real program behind lighttpd, the real login and token tools signing
// in against the local stand-in for Google, headless Chromium clicking through the page and through
// the stand-in's own sign-in and consent pages.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import net from 'node:net';
import { approve } from '../oauth/consent.mjs';
import { launchBrowser, startStack } from './harness.mjs';
import { cell } from './page_helpers.mjs';

const email = 'operator@lumen.example';
const project = 'flow-project-42';
const identity = { standin: { project } };
const loopback = /^http:\/\/localhost(:\d+)?\//;

let browser;
before(async () => {
  browser = await launchBrowser();
});
after(async () => {
  await browser?.close();
});

async function withStack(options, body) {
  const stack = await startStack(options);
  const context = await browser.newContext();
  try {
    await body(stack, context);
  } finally {
    await context.close();
    await stack.stop();
  }
}

const exactly = (text) => new RegExp(`^${text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}$`);

// Waits until the element shows the text (exact for a string); a timeout names what was there.
async function shows(page, selector, text, timeout = 5000) {
  try {
    await page
      .locator(selector, { hasText: typeof text === 'string' ? exactly(text) : text })
      .first()
      .waitFor({ timeout });
  } catch {
    const actual = await page.locator(selector).first().textContent();
    assert.fail(`${selector} should show ${text}, shows ${JSON.stringify(actual)}`);
  }
}

const visible = (page, selector) => page.locator(selector).waitFor({ state: 'visible' });
const hidden = (page, selector) => page.locator(selector).waitFor({ state: 'hidden' });

// The page's calls to the program, in order, as they leave the browser.
function recordCalls(page) {
  const calls = [];
  page.on('request', (request) => {
    if (new URL(request.url()).searchParams.has('action')) calls.push(request);
  });
  return calls;
}

// Opens the sign-in link, signs in and approves on the stand-in's pages and returns the loopback
// address the browser lands on. Nothing listens there, as with Google; the request is stopped.
async function approveConsent(page) {
  const context = page.context();
  await context.route(loopback, (route) => route.abort());
  const [google] = await Promise.all([context.waitForEvent('page'), page.click('#linkOpen')]);
  await google.fill('input[name=login]', email);
  await google.fill('input[name=password]', 'any password');
  await google.click('button:text-is("Sign-in")');
  await shows(google, 'li', 'https://www.googleapis.com/auth/cloud-platform');
  const [landing] = await Promise.all([
    google.waitForRequest((request) => loopback.test(request.url())),
    google.click('button:text-is("Continue")'),
  ]);
  await google.close();
  return landing.url();
}

describe('sign-in', () => {
  for (const route of ['direct', 'hub']) {
    test(`whole sign-in, refresh and reload through the ${route} route`, async () => {
      await withStack(identity, async (stack, context) => {
        const page = await context.newPage();
        const calls = recordCalls(page);
        await page.goto(stack[route]);
        await shows(page, '#pillText', 'Not Connected');
        await shows(page, cell('#session', 'Login CLI'), 'found');
        // A refresh before any sign-in fails; its note must not outlive the sign-in below.
        await page.click('#btnRefresh');
        await shows(page, '#refreshNote.err', 'no account is signed in; sign in first');

        await page.click('#btnStart');
        await visible(page, '#step2');
        await hidden(page, '#step1');
        await shows(page, cell('#session', 'Login pending'), 'yes');
        await shows(page, '#pillText', 'Signing in');
        await hidden(page, '#linkElsewhere');
        const authUrl = await page.locator('#authUrl').textContent();
        const asked = new URL(authUrl);
        assert.equal(asked.origin + asked.pathname, `${stack.standin.issuer}/auth`);
        assert.equal(asked.searchParams.get('code_challenge_method'), 'S256');
        assert.equal(await page.locator('#linkOpen').getAttribute('href'), authUrl);

        const landing = new URL(await approveConsent(page));
        assert.equal(landing.searchParams.get('state'), asked.searchParams.get('state'));
        assert.ok(landing.searchParams.get('code'), `no code in ${landing}`);

        await page.fill('#codeInput', landing.href);
        await page.click('#btnFinish');
        await shows(page, '#pillText', 'Connected');
        await shows(page, '#sub', email);
        await shows(page, '#toast', `Signed in as ${email}`);
        await shows(page, cell('#project', 'Project ID'), project);
        await shows(page, cell('#project', 'Profile'), 'lumenhollow');
        await shows(page, cell('#session', 'Refresh token'), 'stored');
        await visible(page, '#step1');
        await hidden(page, '#step2');
        await hidden(page, '#refreshNote');
        await shows(page, cell('#session', 'Login pending'), 'no');
        assert.equal(await page.inputValue('#codeInput'), '');

        await page.click('#btnRefresh');
        await shows(page, '#refreshNote.ok', /^Token refreshed\. Expires in 60 min\.$/);

        const reloaded = page.waitForResponse((r) => r.url().includes('action=status'));
        await page.click('#btnReload');
        await reloaded;
        await page.reload();
        await shows(page, '#pillText', 'Connected');
        await shows(page, '#sub', email);

        const expected =
          route === 'hub' ? '/plugins?plugin=google&action=' : '/plugin_lumenhollow_login?action=';
        // The account list follows each signed-in status on its own time.
        const actions = calls
          .map((r) => new URL(r.url()).searchParams.get('action'))
          .filter((action) => action !== 'accounts');
        assert.deepEqual(actions, ['status', 'refresh', 'start', 'finish', 'refresh', 'status', 'status']);
        for (const request of calls) {
          const { pathname, search } = new URL(request.url());
          assert.ok((pathname + search).startsWith(expected), `${request.url()} via ${route}`);
        }

        // A second start while signed in can be called off; the account stays.
        await page.click('#btnStart');
        await visible(page, '#step2');
        await page.click('#btnCancel');
        await shows(page, '#toast', 'Pending login cancelled');
        await visible(page, '#step1');
        await shows(page, '#pillText', 'Connected');
        assert.ok(!fs.existsSync(stack.paths.pending));
      });
    });
  }

  test('after a reload the pending sign-in is started again, or cancelled', async () => {
    await withStack(identity, async (stack, context) => {
      const page = await context.newPage();
      await page.goto(stack.direct);
      await page.click('#btnStart');
      await visible(page, '#step2');
      assert.ok(fs.existsSync(stack.paths.pending));

      // A reload during the sign-in comes back to step 2 from the status alone.
      await page.reload();
      await shows(page, '#pillText', 'Signing in');
      await shows(page, cell('#session', 'Login pending'), 'yes');
      await visible(page, '#step2');
      await visible(page, '#linkElsewhere');
      const stale = fs.readFileSync(stack.paths.pending, 'utf8');
      await page.click('#btnRestart');
      await hidden(page, '#linkElsewhere');
      await shows(page, '#authUrl', new RegExp(`^${stack.standin.issuer}/auth\\?`));
      assert.notEqual(fs.readFileSync(stack.paths.pending, 'utf8'), stale);

      await page.click('#btnCancel');
      await shows(page, '#toast', 'Pending login cancelled');
      await visible(page, '#step1');
      await hidden(page, '#step2');
      await shows(page, '#pillText', 'Not Connected');
      assert.ok(!fs.existsSync(stack.paths.pending));
    });
  });

  // Google sends the code's '/' raw or as %2F; the console passes it on as it stood.
  for (const codeSlash of ['raw', 'encoded']) {
    test(`a code with its / ${codeSlash} signs in through the console`, async () => {
      await withStack({ standin: { project, codeSlash } }, async (stack, context) => {
        const page = await context.newPage();
        await page.goto(stack.direct);
        await page.click('#btnStart');
        await visible(page, '#step2');
        const landing = await approveConsent(page);
        assert.match(landing, codeSlash === 'raw' ? /[?&]code=4\/0A/ : /[?&]code=4%2F0A/);
        await page.fill('#codeInput', landing);
        await page.click('#btnFinish');
        await shows(page, '#pillText', 'Connected');
        await shows(page, '#sub', email);
      });
    });
  }

  test('refused codes keep their detail and say what to do next', async () => {
    await withStack(identity, async (stack, context) => {
      const page = await context.newPage();
      const calls = recordCalls(page);
      await page.goto(stack.direct);
      await page.click('#btnStart');
      await visible(page, '#step2');

      await page.fill('#codeInput', '   ');
      await page.click('#btnFinish');
      await shows(page, '#loginNote.err', 'Paste the code or the redirect address first.');

      await page.fill('#codeInput', 'http://localhost:8085/?state=x&code=4/0ASnot-issued&scope=y');
      await page.click('#btnFinish');
      await shows(
        page,
        '#loginNote.err',
        'Google rejected the code, or the account needs verification in a browser',
      );
      await shows(page, '#loginAdvice', /used already, has expired or belongs to another sign-in/);
      await visible(page, '#step2');
      assert.match(await page.inputValue('#codeInput'), /not-issued/);

      // Refused on Google's page: the address carries an error and no code.
      await page.fill('#codeInput', 'http://localhost:8085/?error=access_denied&state=x');
      await page.click('#btnFinish');
      await shows(page, '#loginNote.err', /contains shell characters/);
      await shows(page, '#loginAdvice', "Access was refused on Google's page. Start again and choose Allow.");
      const finishes = calls.filter((r) => r.url().includes('action=finish'));
      assert.equal(finishes.length, 2, 'the blank code must not be sent');
    });
  });

  test('without a login CLI the page says so and start shows the install hint', async () => {
    await withStack({ login: 'missing' }, async (stack, context) => {
      const page = await context.newPage();
      await page.goto(stack.direct);
      await shows(page, cell('#session', 'Login CLI'), 'not found');
      await page.click('#btnStart');
      await shows(
        page,
        '#toast',
        'the login CLI is not on this node; install VELTRANE CODE or set LUMENHOLLOW_LOGIN_BIN',
      );
      await visible(page, '#step1');
      await shows(page, '#btnStart', 'Start Google Login');
    });
  });
});

describe('accounts', () => {
  const ada = 'ada@lumen.example';
  const grace = 'grace@lumen.example';
  const current = '#accountList li[aria-current=true] .account-email';

  async function closedPort() {
    const server = net.createServer();
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    const { port } = server.address();
    await new Promise((resolve) => server.close(resolve));
    return port;
  }

  test('two sign-ins, a switch and two sign-outs, one not confirmed by the server', async () => {
    await withStack(identity, async (stack, context) => {
      const page = await context.newPage();
      const calls = recordCalls(page);
      await page.goto(stack.direct);
      for (const login of [ada, grace]) {
        await page.click('#btnStart');
        await visible(page, '#step2');
        await page.fill('#codeInput', await approve(await page.textContent('#authUrl'), { login }));
        await page.click('#btnFinish');
        await shows(page, '#sub', login);
      }
      await shows(page, '#addAccount', `A new sign-in adds another account; ${grace} stays stored and you can switch back.`);
      await shows(page, current, grace);

      // Switching and the confirmation step with the keyboard alone.
      await page.focus(`button[aria-label="Switch to ${ada}"]`);
      await page.keyboard.press('Enter');
      await shows(page, current, ada);
      await shows(page, '#sub', ada);
      assert.equal(fs.readFileSync(stack.paths.selected, 'utf8'), `${ada}\n`);
      await page.focus('#btnSignOut');
      await page.keyboard.press('Enter');
      await shows(page, '#signOutQuestion', new RegExp(`^Sign out of ${ada}\\?`));
      await page.keyboard.press('Enter');  // the focused answer is "Keep signed in"
      await hidden(page, '#signOutConfirm');
      assert.equal(await page.evaluate(() => document.activeElement.id), 'btnSignOut');

      await page.click('#btnSignOut');
      await page.click('#btnSignOutYes');
      await shows(
        page,
        '#signOutResult.ok',
        `Signed out of ${ada}. Google confirmed that the node's access is revoked. The node now uses ${grace}.`,
      );
      await shows(page, '#sub', grace);
      await hidden(page, '#accounts');

      const client = JSON.parse(fs.readFileSync(stack.paths.client, 'utf8'));
      client.installed.revoke_uri = `http://127.0.0.1:${await closedPort()}/revoke`;
      fs.writeFileSync(stack.paths.client, JSON.stringify(client));
      await page.click('#btnSignOut');
      await page.click('#btnSignOutYes');
      await shows(
        page,
        '#signOutResult.warn',
        `Signed out of ${grace} on this node, but Google could not confirm the revocation. Remove the ` +
          'access by hand at https://myaccount.google.com/connections. No account is signed in on this node now.',
      );
      await shows(page, '#pillText', 'Not Connected');
      await hidden(page, '#signOut');
      await hidden(page, '#addAccount');
      assert.equal(await page.evaluate(() => document.activeElement.id), 'btnStart');

      const posts = calls
        .filter((r) => r.method() === 'POST')
        .map((r) => [new URL(r.url()).searchParams.get('action'), r.headers()['content-type'], r.postDataJSON()]);
      const json = 'application/json';
      assert.deepEqual(posts, [
        ['select', json, { email: ada }],
        ['logout', json, { email: ada }],
        ['logout', json, { email: grace }],
      ]);

      // What a page on another site could send is turned away.
      const address = `${stack.direct}?action=logout`;
      const get = await fetch(address);
      assert.equal(get.status, 405);
      assert.equal(get.headers.get('allow'), 'POST');
      const form = await fetch(address, { method: 'POST', body: new URLSearchParams({ email: ada }) });
      assert.equal(form.status, 415);
    });
  });
});

describe('node password', () => {
  const password = 's3cret';

  // The page itself is guarded too; this lets its own load through so the page's calls can be
  // watched carrying whatever password the page found.
  async function admitPageLoad(page) {
    await page.route('**/*', (route, request) =>
      request.isNavigationRequest()
        ? route.continue({ headers: { ...request.headers(), 'x-bot-password': password } })
        : route.continue(),
    );
  }

  async function firstCall(page, address, storage = {}) {
    await page.addInitScript((items) => {
      for (const [key, value] of Object.entries(items)) localStorage.setItem(key, value);
    }, storage);
    const call = page.waitForRequest((r) => r.url().includes('action=status'));
    await page.goto(address);
    const request = await call;
    return { url: new URL(request.url()), headers: await request.allHeaders() };
  }

  test('a wrong password gets the refusal toast', async () => {
    await withStack({ password }, async (stack, context) => {
      const page = await context.newPage();
      await admitPageLoad(page);
      await firstCall(page, stack.direct, { bot_active_pwd: 'wrong' });
      await shows(page, '#toast', 'invalid node password');
      await shows(page, '#pillText', 'Checking');
    });
  });

  // Each case: the page address, what is stored, and the password the first call carries as the
  // pwd key and as the header (null and undefined: not sent); `search` is the whole query.
  const cases = [
    {
      name: 'the pwd query key is sent as header and as key, and admits the page',
      open: (stack) => `${stack.direct}?pwd=${password}`,
      storage: { bot_active_pwd: 'not-this-one' },
      pwd: password,
      header: password,
    },
    {
      name: "the node's stored password comes before the active one",
      admit: true,
      open: (stack) => `${stack.direct}?node=n1&id=s7`,
      storage: { bot_pwd_n1: password, bot_active_pwd: 'not-this-one' },
      pwd: password,
      header: password,
      search: `?action=status&node=n1&id=s7&pwd=${password}`,
    },
    {
      name: 'the active password is used when the node has none stored',
      admit: true,
      open: (stack) => `${stack.hub}&node=n2`,
      storage: { bot_pwd_n1: 'other-node', bot_active_pwd: password },
      pwd: password,
      header: password,
      search: `?plugin=google&action=status&node=n2&pwd=${password}`,
    },
    {
      name: 'with no password anywhere neither header nor key is sent',
      unguarded: true,
      open: (stack) => stack.direct,
      storage: {},
      pwd: null,
      header: undefined,
    },
  ];
  for (const c of cases) {
    test(c.name, async () => {
      await withStack(c.unguarded ? {} : { password }, async (stack, context) => {
        const page = await context.newPage();
        if (c.admit) await admitPageLoad(page);
        const { url, headers } = await firstCall(page, c.open(stack), c.storage);
        assert.equal(url.searchParams.get('pwd'), c.pwd);
        if (c.search) assert.equal(url.search, c.search);
        assert.equal(headers['x-bot-password'], c.header);
        await shows(page, '#pillText', 'Not Connected');
      });
    });
  }
});

describe('web server configuration', () => {
  test('hub route with the plugin key anywhere; password headers reach the program', async () => {
    await withStack({ password: 'pw' }, async (stack) => {
      const status = async (address, headers = {}) => (await fetch(address, { headers })).status;
      const bearer = { Authorization: 'Bearer pw' };
      assert.equal(await status(`${stack.direct}?action=status`), 401);
      assert.equal(await status(`${stack.direct}?action=status`, bearer), 200);
      assert.equal(await status(`${stack.direct}?action=status`, { 'X-Bot-Password': 'pw' }), 200);
      assert.equal(await status(`${stack.hub}&action=status&pwd=pw`), 200);
      assert.equal(await status(`${stack.origin}/plugins?action=status&plugin=google&pwd=pw`), 200);
      assert.equal(await status(`${stack.origin}/plugins?plugin=other&action=status`, bearer), 404);
    });
  });
});
