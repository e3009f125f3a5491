// Set-up shared by the page tests: one stack and one browser for a whole test file, a fresh
// browser context for each test, and a test failed by any script error the page raises; and the
// selectors and waits that every browser test uses on the console page.
import { after, before } from 'node:test';
import assert from 'node:assert/strict';
import { launchBrowser, startStack } from './harness.mjs';

/**
 * Starts the stack and the browser before the calling file's tests and stops them after.
 *
 *   const suite = pageSuite();
 *   test('...', () => suite.withPage({ colorScheme: 'dark' }, async (page) => {
 *     await page.goto(suite.stack.direct);
 *   }));
 *
 * suite.stack      the running stack (see startStack), set once the tests run
 * suite.withPage   runs body(page, context) in a new context made with these options
 */
export function pageSuite() {
  let browser;
  const suite = {
    stack: undefined,
    async withPage(contextOptions, body) {
      const context = await browser.newContext(contextOptions);
      const page = await context.newPage();
      const errors = [];
      page.on('pageerror', (err) => errors.push(err.message));
      try {
        await body(page, context);
      } finally {
        await context.close();
      }
      assert.deepEqual(errors, [], 'the page raised script errors');
    },
  };
  before(async () => {
    suite.stack = await startStack();
    browser = await launchBrowser();
  });
  after(async () => {
    await browser?.close();
    await suite.stack?.stop();
  });
  return suite;
}

// The value cell of a key/value table row, e.g. cell('#session', 'Login CLI').
export const cell = (table, label) => `${table} .k:text-is("${label}") + .v`;

// Resolves once the page has shown its first status answer.
export const loaded = (page) =>
  page.waitForFunction(() => document.getElementById('pillText').textContent !== 'Checking');
