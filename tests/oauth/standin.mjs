// Starts scripts/oauth-standin.mjs for a node test and hands back where it listens.
//
//   const standin = await startStandin({ clientFile: path.join(home, 'client.json') });
//   ... standin.issuer, standin.port, standin.clientFile ...
//   await standin.stop();
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import readline from 'node:readline';
import { fileURLToPath } from 'node:url';

const script = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../scripts/oauth-standin.mjs');
const readyTimeoutMs = 20_000;

const running = new Set();
process.on('exit', () => {
  for (const child of running) child.kill('SIGKILL');
});

// options: clientFile (default: a fresh temporary file), port (default 0: any free one),
// rotateRefresh (default false, as Google), codeSlash ('raw' or 'encoded'), accessTtlSeconds, project.
export async function startStandin(options = {}) {
  let scratch = null;
  let clientFile = options.clientFile;
  if (!clientFile) {
    scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'lumenhollow-standin-'));
    clientFile = path.join(scratch, 'client.json');
  }
  const args = [script, '--port', String(options.port ?? 0), '--client-out', clientFile];
  if (options.rotateRefresh) args.push('--rotate-refresh', 'yes');
  if (options.codeSlash !== undefined) args.push('--code-slash', options.codeSlash);
  if (options.accessTtlSeconds !== undefined) args.push('--access-ttl', String(options.accessTtlSeconds));
  if (options.project !== undefined) args.push('--project', options.project);

  const child = spawn(process.execPath, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  running.add(child);
  let errors = '';
  child.stderr.on('data', (chunk) => {
    errors += chunk;
  });

  const ready = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`the stand-in did not start:\n${errors}`)), readyTimeoutMs);
    const lines = readline.createInterface({ input: child.stdout });
    lines.once('line', (line) => {
      clearTimeout(timer);
      resolve(JSON.parse(line));
    });
    child.once('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`the stand-in exited with ${code}:\n${errors}`));
    });
  });

  const exited = new Promise((resolve) => child.once('exit', resolve));
  return {
    issuer: ready.issuer,
    port: ready.port,
    clientFile,
    stderr: () => errors,
    async stop() {
      if (child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
      await exited;
      running.delete(child);
      if (scratch) fs.rmSync(scratch, { recursive: true, force: true });
    },
  };
}
