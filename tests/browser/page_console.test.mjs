// The console page's own behaviour: the page comes from the program behind lighttpd, and the
// JSON calls are answered with canned documents where a test needs a particular state.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { loaded, pageSuite } from './page_helpers.mjs';

const suite = pageSuite();
const { withPage } = suite;

const signedOut = {
  ok: true,
  plugin: 'plugin_lumenhollow_login',
  version: '1.0.0',
  logged_in: false,
  email: '',
  account: '',
  project_id: '',
  profile: '',
  expires_at: 0,
  expires_in_sec: 0,
  expired: false,
  has_refresh: false,
  pending: false,
  cli_present: true,
  credentials_path: '/home/op/.config/google-accounts/lumenhollow_accounts.json',
};

// Answers the page's calls (never the page itself) from `answers`, keyed by action; a string is
// sent as the raw body. Returns the list of calls seen.
async function answerCalls(page, answers) {
  const calls = [];
  const isProgram = (url) => url.pathname === '/plugin_lumenhollow_login' || url.pathname === '/plugins';
  await page.route(isProgram, (route) => {
    const request = route.request();
    if (request.resourceType() !== 'fetch') return route.continue();
    const url = new URL(request.url());
    const action = url.searchParams.get('action');
    calls.push({ action, path: url.pathname + url.search, password: request.headers()['x-bot-password'] });
    const answer = answers[action] ?? { ok: false, error: 'unexpected call' };
    return route.fulfill({
      contentType: 'application/json',
      body: typeof answer === 'string' ? answer : JSON.stringify(answer),
    });
  });
  return calls;
}

const text = (page, selector) => page.locator(selector).textContent();

test('fmtExpiry formats remaining lifetimes', () =>
  withPage({}, async (page) => {
    await answerCalls(page, { status: signedOut });
    await page.goto(suite.stack.direct);
    const cases = [
      [89, '89s'],
      [90, '2 min'],
      [5399, '90 min'],
      [5400, '2 h'],
      [172799, '48 h'],
      [172800, '2 d'],
      [0, 'expired'],
      [-120, 'expired'],
      [null, '-'],
      [undefined, '-'],
    ];
    for (const [seconds, want] of cases) {
      assert.equal(await page.evaluate((s) => fmtExpiry(s), seconds), want, `fmtExpiry(${seconds})`);
    }
  }));

describe('status pill and steps', () => {
  const cases = [
    {
      name: 'signed in',
      status: { logged_in: true, has_refresh: true, expires_in_sec: 3000, email: 'op@example.com' },
      pill: ['pill ok', 'Connected'],
      lead: 'This node holds a Google Lumenhollow session.',
      expires: '50 min',
      step2: false,
    },
    {
      name: 'signed in but expired',
      status: { logged_in: true, expired: true, expires_in_sec: -60 },
      pill: ['pill warn', 'Expired'],
      lead: 'The session is present but its access token has expired. Use Refresh Token Now.',
      expires: 'expired',
      step2: false,
    },
    {
      name: 'sign-in pending',
      status: { pending: true },
      pill: ['pill warn', 'Signing in'],
      lead: 'No Google session on this node yet. Start a login below.',
      expires: '-',
      step2: true,
    },
    {
      name: 'signed out',
      status: { expires_in_sec: 500 },
      pill: ['pill off', 'Not Connected'],
      lead: 'No Google session on this node yet. Start a login below.',
      expires: '-',
      step2: false,
    },
  ];
  for (const c of cases) {
    test(c.name, () =>
      withPage({}, async (page) => {
        await answerCalls(page, { status: { ...signedOut, ...c.status } });
        await page.goto(suite.stack.direct);
        await loaded(page);
        assert.equal(await page.getAttribute('#pill', 'class'), c.pill[0]);
        assert.equal(await text(page, '#pillText'), c.pill[1]);
        assert.equal(await text(page, '#sessionLead'), c.lead);
        const row = page.locator('#session .k', { hasText: 'Token expires' }).locator('+ .v');
        assert.equal(await row.textContent(), c.expires);
        assert.equal(await page.locator('#step2').isVisible(), c.step2);
        assert.equal(await page.locator('#step1').isVisible(), !c.step2);
      }),
    );
  }
});

test('status fields holding markup render as text and run nothing', () =>
  withPage({}, async (page) => {
    const hostile = {
      email: '<img src=x onerror="window.pwned=1">',
      credentials_path: '</div><script>window.pwned=2</script>',
      project_id: '<b id="bold">p</b>',
      profile: '<iframe srcdoc="<script>parent.pwned=3</script>"></iframe>',
    };
    await answerCalls(page, { status: { ...signedOut, logged_in: true, ...hostile } });
    await page.goto(suite.stack.direct);
    await loaded(page);
    assert.equal(await text(page, '#sub'), hostile.email);
    const values = await page.locator('#session .v, #project .v').allTextContents();
    for (const field of Object.values(hostile)) assert.ok(values.includes(field), field);
    assert.equal(await page.locator('#app img, #app script, #app iframe, #bold').count(), 0);
    await page.waitForTimeout(200);
    assert.equal(await page.evaluate(() => window.pwned), undefined);
  }));

describe('code submission', () => {
  async function pendingPage(page) {
    const calls = await answerCalls(page, {
      status: { ...signedOut, pending: true },
      finish: { ...signedOut, ok: true, state: 'done', logged_in: true, email: 'op@example.com' },
    });
    await page.goto(suite.stack.direct);
    await loaded(page);
    return calls;
  }
  const finishCalls = (calls) => calls.filter((c) => c.action === 'finish');

  test('Enter adds a line, Ctrl+Enter submits the trimmed code', () =>
    withPage({}, async (page) => {
      const calls = await pendingPage(page);
      const field = page.locator('#codeInput');
      await field.fill('  http://localhost:8085/?state=s&code=4/0Ab c ');
      await field.press('End');
      await field.press('Enter');
      assert.equal(await field.inputValue(), '  http://localhost:8085/?state=s&code=4/0Ab c \n');
      // finish() shows its progress note before it sends anything.
      assert.equal(await page.getAttribute('#loginNote', 'class'), 'note');
      assert.equal(finishCalls(calls).length, 0);

      await field.press('Control+Enter');
      await page.locator('#step1').waitFor();
      const [call] = finishCalls(calls);
      assert.ok(
        call.path.endsWith('&code=http%3A%2F%2Flocalhost%3A8085%2F%3Fstate%3Ds%26code%3D4%2F0Ab%20c'),
        call.path,
      );
      assert.equal(await field.inputValue(), '');
      assert.equal(await text(page, '#toast'), 'Signed in as op@example.com');
    }));

  for (const [name, value] of [
    ['an empty field', ''],
    ['a blank field', ' \n\t '],
  ]) {
    test(`${name} sends nothing`, () =>
      withPage({}, async (page) => {
        const calls = await pendingPage(page);
        await page.fill('#codeInput', value);
        await page.click('#btnFinish');
        await page.locator('#codeInput').press('Control+Enter');
        assert.equal(await page.getAttribute('#loginNote', 'class'), 'note show err');
        assert.equal(await text(page, '#loginNote'), 'Paste the code or the redirect address first.');
        assert.equal(finishCalls(calls).length, 0);
      }));
  }
});

// Each case: the pasted text, the finish answer's error code, and a word the advice must hold.
describe('a failed exchange keeps its detail and says what to do next', () => {
  const detail = 'Google rejected the code, or the account needs verification in a browser';
  const refusedPaste = 'http://localhost:8085/?error=access_denied&state=s1';
  const cases = [
    ['4/0Aused', 'invalid_grant', /used already.*Start again/],
    ['4/0Alate', 'login_expired', /lapsed\. Start again/],
    ['4/0Anone', 'no_pending_login', /finished or cancelled elsewhere/],
    ['http://localhost:8085/?state=old&code=4/0A', 'state_mismatch', /another sign-in/],
    ['http://localhost:8085/?state=s1', 'missing_code', /holds no code/],
    ['?error=access_denied', 'access_denied', /refused.*choose Allow/],
    [refusedPaste, 'invalid_code', /refused.*choose Allow/],
    ['4/0A;rm', 'invalid_code', /only the value after code=/],
    ['4/0Aodd', 'finish_failed', null],
  ];
  for (const [pasted, error, advice] of cases) {
    test(`${error}: ${pasted}`, () =>
      withPage({}, async (page) => {
        await answerCalls(page, {
          status: { ...signedOut, pending: true },
          finish: { ok: false, error, detail },
        });
        await page.goto(suite.stack.direct);
        await loaded(page);
        await page.fill('#codeInput', pasted);
        await page.click('#btnFinish');
        await page.locator('#loginNote.err').waitFor();
        assert.equal(await text(page, '#loginNote'), detail);
        const said = await text(page, '#loginAdvice');
        if (advice) assert.match(said, advice);
        else assert.equal(said, '');
        assert.equal(await page.locator('#loginAdvice').isVisible(), advice !== null);
      }));
  }
});

test('a failed start keeps its detail in the toast and says what to do beside the button', () =>
  withPage({}, async (page) => {
    const detail = 'the login CLI did not return an authorization URL';
    await answerCalls(page, {
      status: signedOut,
      start: { ok: false, error: 'client_missing', detail },
    });
    await page.goto(suite.stack.direct);
    await loaded(page);
    await page.click('#btnStart');
    await page.locator('#startAdvice:not(:empty)').waitFor();
    assert.equal(await text(page, '#toast'), detail);
    assert.match(await text(page, '#startAdvice'), /no OAuth client file/);
    assert.ok(await page.locator('#step1').isVisible());
  }));

test('a reload during a sign-in offers to start again, also from the keyboard', () =>
  withPage({}, async (page) => {
    const authUrl = 'https://accounts.example/auth?state=s2';
    const calls = await answerCalls(page, {
      status: { ...signedOut, pending: true },
      start: { ok: true, flow: 'paste_code', auth_url: authUrl, expires_in: 900, hint: 'h' },
    });
    await page.goto(suite.stack.direct);
    await loaded(page);
    assert.equal(await text(page, '#authUrl'), '');
    assert.ok(await page.locator('#linkElsewhere').isVisible());

    await page.focus('#authUrl');
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'btnRestart');
    await page.keyboard.press('Enter');
    await page.locator('#linkElsewhere').waitFor({ state: 'hidden' });
    assert.equal(await text(page, '#authUrl'), authUrl);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'codeInput');
    assert.deepEqual(calls.map((c) => c.action), ['status', 'start']);
  }));

test('an answer that is not JSON shows as "bad response"', () =>
  withPage({}, async (page) => {
    await answerCalls(page, { status: '<html>proxy error</html>' });
    await page.goto(suite.stack.direct);
    await page.locator('#toast.show').waitFor();
    assert.equal(await text(page, '#toast'), 'bad response');
  }));

// Each case: page address (relative to the origin), stored passwords, expected call, header.
describe('call address and password', () => {
  const direct = '/plugin_lumenhollow_login';
  const cases = [
    ['direct, no password anywhere', direct, {}, `${direct}?action=status`, undefined],
    ['hub, with node and id', '/plugins?plugin=google&node=n%201&id=7', {},
      '/plugins?plugin=google&action=status&node=n%201&id=7', undefined],
    ["node's password first", `${direct}?node=n1`, { bot_pwd_n1: 'p&n', bot_active_pwd: 'act' },
      `${direct}?action=status&node=n1&pwd=p%26n`, 'p&n'],
    ['active password without a node', direct, { bot_pwd_: 'never', bot_active_pwd: 'act' },
      `${direct}?action=status&pwd=act`, 'act'],
    ['query password first', `${direct}?node=n1&pwd=q%2Bw`, { bot_pwd_n1: 'n', bot_active_pwd: 'a' },
      `${direct}?action=status&node=n1&pwd=q%2Bw`, 'q+w'],
  ];
  for (const [name, open, storage, path, password] of cases) {
    test(name, () =>
      withPage({}, async (page) => {
        await page.addInitScript((entries) => {
          for (const [key, value] of Object.entries(entries)) localStorage.setItem(key, value);
        }, storage);
        const calls = await answerCalls(page, { status: signedOut });
        await page.goto(suite.stack.origin + open);
        await loaded(page);
        assert.deepEqual(calls, [{ action: 'status', path, password }]);
      }));
  }
});
