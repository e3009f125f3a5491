// Where the Linux and Windows builds are and how wine is reached, for the Windows tests. Builds
// nothing: LUMENHOLLOW_BUILD_DIR (default build/dev) and LUMENHOLLOW_WINDOWS_BUILD_DIR (default
// build/windows) hold the builds.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const build = (variable, fallback) => path.resolve(root, process.env[variable] || fallback);
const found = (...candidates) => candidates.find((p) => fs.existsSync(p)) ?? candidates[0];

export const linuxBuild = build('LUMENHOLLOW_BUILD_DIR', 'build/dev');
export const windowsBuild = build('LUMENHOLLOW_WINDOWS_BUILD_DIR', 'build/windows');
export const wine = found('/usr/bin/wine64', '/usr/lib/wine/wine64', '/usr/bin/wine');
export const wineserver = found('/usr/bin/wineserver', '/usr/lib/wine/wineserver64');
// One prefix for the whole run: the wine server stays up across the test files.
export const winePrefix = process.env.WINEPREFIX || path.join(os.tmpdir(), 'lumenhollow-wine');
// A path on this machine as a Windows program sees it under wine.
export const winPath = (unixPath) => `Z:${unixPath.replaceAll('/', '\\')}`;
