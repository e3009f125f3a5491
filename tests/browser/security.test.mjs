// Texts that reach the console from the tools and the state files are shown as text: markup and
// script in them render literally, create no element and run nothing; an authorization address
// that is not a web address never becomes the link's target.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fakeTool, launchBrowser, startStack } from './harness.mjs';
import { cell } from './page_helpers.mjs';

// Each payload would set window.__pwned to its own name if it ever ran.
const payload = (name) => ({
  img: `<img src=x onerror="window.__pwned='${name}'">`,
  script: `</div><script>window.__pwned='${name}'</script>`,
  svg: `"'><svg onload="window.__pwned='${name}'"></svg>\\`,
});

const identity = payload('identity').img + payload('identity').script;
const credentials = payload('path').svg;
const project = payload('project').script;
const hint = payload('hint').img;
const authUrl = `javascript:window.__pwned='auth_url'//${payload('auth_url').img}`;
const refreshError = payload('refresh').img + payload('refresh').svg;

let browser;
let scratch;
before(async () => {
  browser = await launchBrowser();
  scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-security-'));
});
after(async () => {
  await browser?.close();
  fs.rmSync(scratch, { recursive: true, force: true });
});

// A stand-in tool that prints, for its first argument, the JSON object given here.
function scriptedTool(name, answers) {
  const dir = fs.mkdtempSync(path.join(scratch, `${name}-`));
  const cases = Object.entries(answers).map(([arg, answer]) => {
    const file = path.join(dir, arg.replace(/^-+/, '') + '.json');
    fs.writeFileSync(file, JSON.stringify(answer) + '\n');
    return `  ${arg}) cat '${file}' ;;`;
  });
  return fakeTool(`case "$1" in\n${cases.join('\n')}\nesac`);
}

async function withPage(options, body) {
  const stack = await startStack(options);
  const context = await browser.newContext();
  try {
    const page = await context.newPage();
    const dialogs = [];
    page.on('dialog', (dialog) => {
      dialogs.push(dialog.message());
      dialog.dismiss();
    });
    await body(page, stack);
    // Give any injected handler (image errors, svg loads) its chance to run before judging.
    await page.waitForTimeout(300);
    assert.equal(await page.evaluate(() => window.__pwned), undefined, 'an injected script ran');
    assert.deepEqual(dialogs, []);
    const injected = await page.evaluate(
      () => document.querySelectorAll('[onerror], [onload], #app img, #app svg, #app script').length,
    );
    assert.equal(injected, 0, 'markup from an answer became elements');
  } finally {
    await context.close();
    await stack.stop();
  }
}

const text = (page, selector) => page.locator(selector).first().textContent();

describe('untrusted texts in the console', () => {
  test('status members holding markup render as text', async () => {
    const login = scriptedTool('login', {
      '--status': {
        identity,
        path: credentials,
        logged_in: true,
        has_refresh: true,
        expires_at: Math.floor(Date.now() / 1000) + 3600,
      },
      '--start': { ok: true, auth_url: authUrl, hint },
    });
    await withPage({ login }, async (page, stack) => {
      fs.mkdirSync(path.dirname(stack.paths.envFile), { recursive: true });
      fs.writeFileSync(stack.paths.envFile, `GOOGLE_PROJECT_ID=${project}\n`);
      await page.goto(stack.direct);
      await page.locator('#pillText', { hasText: 'Connected' }).waitFor();
      assert.equal(await text(page, '#sub'), identity);
      assert.equal(await text(page, cell('#session', 'Account')), identity);
      assert.equal(await text(page, cell('#session', 'Credentials')), credentials);
      assert.equal(await text(page, cell('#project', 'Project ID')), project);

      await page.click('#btnStart');
      await page.locator('#step2').waitFor({ state: 'visible' });
      assert.equal(await text(page, '#authUrl'), authUrl);
      assert.equal(await text(page, '#flowHint'), hint);
      const href = await page.locator('#linkOpen').getAttribute('href');
      assert.ok(!/^\s*javascript:/i.test(href), `the link points at ${href}`);
      await page.click('#linkOpen');
    });
  });

  test('a refresh error holding markup renders as text', async () => {
    const login = scriptedTool('login', { '--status': { has_refresh: true } });
    const token = scriptedTool('token', { '-local': { ok: false, error: refreshError } });
    await withPage({ login, token }, async (page, stack) => {
      await page.goto(stack.direct);
      await page.locator('#pillText', { hasText: 'Connected' }).waitFor();
      await page.click('#btnRefresh');
      await page.locator('#refreshNote.err').waitFor();
      assert.equal(await text(page, '#refreshNote'), refreshError);
    });
  });

  test('a pasted code holding markup is refused and shown nowhere', async () => {
    const login = scriptedTool('login', { '--status': {}, '--finish': { ok: true } });
    await withPage({ login }, async (page, stack) => {
      await page.goto(stack.direct);
      await page.locator('#pillText', { hasText: 'Not Connected' }).waitFor();
      await page.evaluate(() => {
        document.getElementById('step2').classList.add('on');
      });
      await page.fill('#codeInput', payload('code').img);
      await page.click('#btnFinish');
      await page.locator('#loginNote.err').waitFor();
      assert.equal(
        await text(page, '#loginNote'),
        'the value is not an authorization code (empty, too long, or contains shell characters)',
      );
    });
  });

  test('the page is sent with a policy that allows no outside script, frame target or form', async () => {
    const stack = await startStack({ login: 'missing' });
    try {
      const response = await fetch(stack.direct);
      const policy = response.headers.get('content-security-policy');
      assert.equal(
        policy,
        "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src data:; " +
          "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors *",
      );
      assert.equal(response.headers.get('x-content-type-options'), 'nosniff');
      assert.equal(response.headers.get('referrer-policy'), 'no-referrer');
      await response.text();
    } finally {
      await stack.stop();
    }
  });
});
