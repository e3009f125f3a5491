// The tools' manual pages, as the package installs them: each documents every option its tool's
// --help lists, and renders without a complaint from groff (lintian reports those as warnings).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const buildDir = path.resolve(root, process.env.LUMENHOLLOW_BUILD_DIR || 'build/dev');

for (const tool of ['lumenhollow-login', 'lumenhollow-token']) {
  test(`${tool}(1) matches --help`, () => {
    const help = execFileSync(path.join(buildDir, tool), ['--help'], { encoding: 'utf8' });
    const options = [...new Set(help.match(/(?<![\w-])--?[a-z][a-z-]*/g))];
    assert.ok(options.length >= 3, `no options found in:\n${help}`);

    const source = fs.readFileSync(path.join(buildDir, 'debian', `${tool}.1`), 'utf8');
    const words = new Set(source.replaceAll('\\-', '-').match(/(?<![\w-])--?[a-z][a-z-]*/g));
    const missing = options.filter((option) => !words.has(option));
    assert.deepEqual(missing, [], `${tool}.1 does not mention these options`);

    const render = spawnSync('groff', ['-man', '-ww', '-z', '-Tutf8'], { input: source });
    assert.equal(render.status, 0);
    assert.equal(render.stderr.toString(), '', `groff on ${tool}.1`);
  });
}
