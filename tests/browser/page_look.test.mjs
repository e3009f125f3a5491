// The signed-in console as an operator sees it: accessibility in both themes and screenshots for a
// human to look at (tests/browser/artifacts/). The sign-in itself runs for real, through the
// program, the real login tool and the stand-in for Google (its pages walked by the consent helper).
import { before, test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { approve } from '../oauth/consent.mjs';
import { loaded, pageSuite } from './page_helpers.mjs';

const artifacts = path.join(path.dirname(fileURLToPath(import.meta.url)), 'artifacts');
const axeSource = fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

const suite = pageSuite();
const { withPage } = suite;
before(() => fs.mkdirSync(artifacts, { recursive: true }));

async function assertAccessible(page, state) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.evaluate(axeSource);
  const result = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
  const serious = result.violations
    .filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => `${v.id}: ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`);
  assert.deepEqual(serious, [], `${state}: serious or critical axe violations`);
}

// Start, approve and paste the redirect address back, as an operator would.
async function signIn(page) {
  await page.click('#btnStart');
  await page.locator('#step2').waitFor();
  const authUrl = await page.locator('#authUrl').textContent();
  await page.fill('#codeInput', await approve(authUrl, { login: 'operator@lumen.example' }));
  await page.click('#btnFinish');
  await page.locator('#pill.ok').waitFor();
}

// A second stored account, answered for the page so that the suite's node keeps one.
const twoAccounts = (route) =>
  route.fulfill({
    json: {
      ok: true,
      selected: 'operator@lumen.example',
      accounts: [{ email: 'operator@lumen.example' }, { email: 'second.operator.with.a.long.name@lumen.example' }],
    },
  });
const isAction = (action) => (url) => url.searchParams.get('action') === action;

let signedIn = false;
async function openSignedIn(page, query) {
  await page.goto(suite.stack.direct + query);
  await loaded(page);
  if (!signedIn) {
    await signIn(page);
    signedIn = true;
  }
  await page.click('#btnRefresh');
  await page.locator('#refreshNote.ok').waitFor();
}

for (const theme of ['dark', 'light']) {
  test(`${theme}: the console passes axe in every state and looks finished`, () =>
    withPage({ viewport: { width: 1100, height: 900 } }, async (page) => {
      await openSignedIn(page, `?theme=${theme}`);
      assert.equal(await page.textContent('#pillText'), 'Connected');
      await page.locator('#toast').evaluate((el) => el.classList.remove('show'));
      await page.screenshot({ path: path.join(artifacts, `console-${theme}.png`), fullPage: true });
      await assertAccessible(page, 'signed in, refresh note');

      // Two accounts, the sign-out question, then an answer whose revocation Google did not confirm.
      await page.route(isAction('accounts'), twoAccounts);
      await page.click('#btnReload');
      await page.locator('#accounts').waitFor();
      await page.click('#btnSignOut');
      await page.locator('#signOutConfirm').waitFor();
      await page.screenshot({ path: path.join(artifacts, `console-${theme}-accounts.png`), fullPage: true });
      await assertAccessible(page, 'two accounts, sign-out question');
      await page.route(isAction('logout'), (route) =>
        route.fulfill({ json: { ok: true, state: 'signed_out', revoked: false, email: '', cli_present: true } }),
      );
      await page.click('#btnSignOutYes');
      await page.locator('#signOutResult.warn').waitFor();
      await page.screenshot({ path: path.join(artifacts, `console-${theme}-signed-out.png`), fullPage: true });
      await assertAccessible(page, 'signed out, revocation not confirmed');
      await page.unrouteAll();

      // A second sign-in with a wrong code: link box, code field and an error note.
      await page.click('#btnStart');
      await page.locator('#step2').waitFor();
      await page.fill('#codeInput', 'not-the-code');
      await page.click('#btnFinish');
      await page.locator('#loginNote.err').waitFor();
      await page.locator('#loginAdvice:not(:empty)').waitFor();
      await page.locator('#toast').evaluate((el) => el.classList.remove('show'));
      await page.screenshot({ path: path.join(artifacts, `console-${theme}-step2.png`), fullPage: true });
      await assertAccessible(page, 'step 2, error note and advice');

      // Reloaded during that sign-in: no link here, a way to start again.
      await page.reload();
      await page.locator('#linkElsewhere').waitFor();
      await page.screenshot({ path: path.join(artifacts, `console-${theme}-reloaded.png`), fullPage: true });
      await assertAccessible(page, 'step 2 after a reload');
      await page.click('#btnCancel');
      await page.locator('#step1').waitFor();

      // The amber and grey pills, from canned status documents.
      for (const [pill, status] of [
        ['warn', { logged_in: true, expired: true }],
        ['off', { logged_in: false }],
      ]) {
        await page.route(
          (url) => url.searchParams.get('action') === 'status',
          (route) => route.fulfill({ json: { ok: true, email: '', cli_present: true, ...status } }),
        );
        await page.reload();
        await page.locator(`#pill.${pill}`).waitFor();
        await assertAccessible(page, `pill ${pill}`);
        await page.unrouteAll();
      }
    }));
}

test('narrow screen: one column, nothing cut off', () =>
  withPage({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 2 }, async (page) => {
    await openSignedIn(page, '?theme=dark');
    await page.locator('#toast').evaluate((el) => el.classList.remove('show'));
    const overflow = () => page.evaluate(() => document.documentElement.scrollWidth - innerWidth);
    assert.equal(await overflow(), 0, 'the page scrolls sideways');
    const columns = await page.locator('#session').evaluate((el) => getComputedStyle(el).gridTemplateColumns);
    assert.equal(columns.split(' ').length, 1);
    await page.screenshot({ path: path.join(artifacts, 'console-390.png'), fullPage: true });

    await page.route(isAction('accounts'), twoAccounts);
    await page.click('#btnReload');
    await page.locator('#accounts').waitFor();
    await page.click('#btnSignOut');
    await page.locator('#signOutConfirm').waitFor();
    assert.equal(await overflow(), 0, 'the account list scrolls sideways');
    await page.screenshot({ path: path.join(artifacts, 'console-390-accounts.png'), fullPage: true });
    await page.unrouteAll();
    await page.click('#btnSignOutNo');

    // Step 2 after a reload, with a refused code: the added lines wrap too.
    await page.click('#btnStart');
    await page.locator('#step2').waitFor();
    await page.reload();
    await page.fill('#codeInput', 'http://localhost:8085/?error=access_denied&state=x');
    await page.click('#btnFinish');
    await page.locator('#loginAdvice:not(:empty)').waitFor();
    await page.locator('#toast').evaluate((el) => el.classList.remove('show'));
    assert.equal(await overflow(), 0, 'step 2 scrolls sideways');
    await page.screenshot({ path: path.join(artifacts, 'console-390-step2.png'), fullPage: true });
    await page.click('#btnCancel');
    await page.locator('#step1').waitFor();
  }));
