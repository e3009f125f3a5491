// The three documented web servers, each started from its example in deploy/ on a free 127.0.0.1
// port with everything else (pid, logs, sockets, temp files, the node's home) in a throw-away
// directory. The examples are used as they stand: only the values an operator adapts are
// replaced, and each of them must still be in the example, so an edited example cannot slip past.
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
const deploy = path.join(root, 'deploy');
const buildDir = path.resolve(root, process.env.LUMENHOLLOW_BUILD_DIR || 'build/dev');
const asRoot = process.getuid() === 0;

// Letters, digits and -._~ only: the one kind of password every carrier passes unchanged.
export const password = 'Node-pw_4.~x';
export const code = '4/0AbC-x_y';

const running = new Set();
process.on('exit', () => {
  for (const child of running) killGroup(child, 'SIGKILL');
});

function killGroup(child, signal) {
  try {
    process.kill(-child.pid, signal);
  } catch {
    // already gone
  }
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function canConnect(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => {
      socket.destroy();
      resolve(true);
    });
    socket.once('error', () => resolve(false));
  });
}

// The example with each [documented value, value here] pair replaced everywhere.
function adapt(file, pairs) {
  let text = fs.readFileSync(path.join(deploy, file), 'utf8');
  for (const [from, to] of pairs) {
    if (!text.includes(from)) throw new Error(`${file} no longer holds ${from}`);
    text = text.replaceAll(from, to);
  }
  return text;
}

function start(dir, command, args, options = {}) {
  const out = fs.openSync(path.join(dir, `${path.basename(command)}.out`), 'a');
  const child = spawn(command, args, { detached: true, stdio: ['ignore', out, out], ...options });
  fs.closeSync(out);
  running.add(child);
  child.once('exit', () => running.delete(child));
  return child;
}

async function waitFor(ready, children, describe) {
  const deadline = Date.now() + 10_000;
  while (Date.now() < deadline) {
    if (children.some((c) => c.exitCode !== null || c.signalCode !== null)) break;
    if (await ready()) return;
    await new Promise((r) => setTimeout(r, 25));
  }
  throw new Error(`${describe()} did not start`);
}

// The node as the examples expect it: a home directory and the login and token tools, here small
// scripts that record their arguments. Apache's CGI user must reach all of it.
function makeNode(dir) {
  const home = path.join(dir, 'home');
  const tools = path.join(dir, 'tools');
  fs.mkdirSync(home);
  fs.mkdirSync(tools, { mode: 0o777 });
  fs.chmodSync(tools, 0o777);
  const login = path.join(tools, 'login');
  fs.writeFileSync(
    login,
    `#!/bin/sh
echo "$*" >>"${tools}/login.calls"
case "$1" in
  --status) echo '{"identity":"ops@example.com","logged_in":true,"has_refresh":true,"pending":false}' ;;
  --finish) echo '{"ok":true}' ;;
  *) echo '{"ok":false,"error":"unexpected"}' ;;
esac
`,
    { mode: 0o755 },
  );
  const token = path.join(tools, 'token');
  fs.writeFileSync(token, '#!/bin/sh\necho \'{"ok":true}\'\n', { mode: 0o755 });
  return { home, login, token, calls: path.join(tools, 'login.calls') };
}

const program = () => {
  const file = path.join(buildDir, 'plugin_lumenhollow_login');
  if (!fs.existsSync(file)) throw new Error(`${file} is missing; build it first`);
  return file;
};

// [documented value, value here] pairs shared by the three examples.
function nodePairs(node) {
  return [
    ['/usr/lib/cgi-bin/plugin_lumenhollow_login', program()],
    ['/usr/bin/lumenhollow-login', node.login],
    ['/usr/bin/lumenhollow-token', node.token],
  ];
}

const launchers = {
  async lighttpd(dir, port, node) {
    const passwordFile = path.join(dir, 'password.conf');
    execFileSync(path.join(deploy, 'lighttpd-password.sh'), [passwordFile, password]);
    const site = adapt('lighttpd-lumenhollow-login.conf', [
      ...nodePairs(node),
      ['/var/lib/lumenhollow-login', node.home],
      ['/etc/lumenhollow-login/lighttpd-password.conf', passwordFile],
    ]);
    fs.writeFileSync(path.join(dir, 'site.conf'), site);
    fs.mkdirSync(path.join(dir, 'www'));
    // Debian's main configuration in brief, with its access log turned on.
    fs.writeFileSync(
      path.join(dir, 'lighttpd.conf'),
      `server.modules = ("mod_indexfile", "mod_access", "mod_alias", "mod_redirect", "mod_accesslog")
server.document-root = "${dir}/www"
server.bind = "127.0.0.1"
server.port = ${port}
server.errorlog = "${dir}/error.log"
accesslog.filename = "${dir}/access.log"
include "${dir}/site.conf"
`,
    );
    const lighttpd = fs.existsSync('/usr/sbin/lighttpd') ? '/usr/sbin/lighttpd' : 'lighttpd';
    return [start(dir, lighttpd, ['-D', '-f', path.join(dir, 'lighttpd.conf')])];
  },

  async nginx(dir, port, node) {
    const socket = path.join(dir, 'fcgiwrap.socket');
    const unit = adapt('lumenhollow-login-fcgiwrap.service', [
      ['/run/lumenhollow-login/fcgiwrap.socket', socket],
    ]);
    const execStart = unit.match(/^ExecStart=(.*)$/m)[1].split(/\s+/);
    const umask = unit.match(/^UMask=(\d+)$/m)[1];
    const wrapper = start(dir, '/bin/sh', ['-c', `umask ${umask} && exec "$@"`, 'sh', ...execStart]);
    await waitFor(async () => fs.existsSync(socket), [wrapper], () => 'fcgiwrap');

    const site = adapt('nginx-lumenhollow-login.conf', [
      ...nodePairs(node),
      ['/home/node', node.home],
      ['127.0.0.1:8080', `127.0.0.1:${port}`],
      ['change-this-node-password', password],
      ['/var/log/nginx/lumenhollow-login.access.log', path.join(dir, 'site-access.log')],
      [`unix:/run/lumenhollow-login/fcgiwrap.socket`, `unix:${socket}`],
    ]);
    fs.writeFileSync(path.join(dir, 'site.conf'), site);
    fs.copyFileSync('/etc/nginx/fastcgi_params', path.join(dir, 'fastcgi_params'));
    const temp = ['client_body', 'fastcgi', 'proxy', 'uwsgi', 'scgi']
      .map((name) => `  ${name}_temp_path ${dir}/${name};`)
      .join('\n');
    // Debian's main configuration in brief: the server-wide access log that the site replaces. The
    // socket is the node user's, and that user is whoever runs this test.
    fs.writeFileSync(
      path.join(dir, 'nginx.conf'),
      `${asRoot ? 'user root;\n' : ''}daemon off;
pid ${dir}/nginx.pid;
error_log ${dir}/error.log;
events {}
http {
  access_log ${dir}/access.log;
${temp}
  include ${dir}/site.conf;
}
`,
    );
    const nginx = start(dir, '/usr/sbin/nginx', ['-p', dir, '-c', path.join(dir, 'nginx.conf')]);
    return [wrapper, nginx];
  },

  async apache(dir, port, node) {
    const site = adapt('apache-lumenhollow-login.conf', [
      ...nodePairs(node),
      ['/var/lib/lumenhollow-login', node.home],
      ['127.0.0.1:8080', `127.0.0.1:${port}`],
      ['change-this-node-password', password],
    ]);
    fs.writeFileSync(path.join(dir, 'site.conf'), site);
    const modules = ['mpm_event', 'authz_core', 'alias', 'cgid', 'env', 'rewrite'];
    const load = modules
      .map((name) => `LoadModule ${name}_module /usr/lib/apache2/modules/mod_${name}.so`)
      .join('\n');
    // Debian's main configuration in brief, with its server-wide access log of whole request lines
    // (other_vhosts_access.log) that the site's own log must replace.
    fs.writeFileSync(
      path.join(dir, 'apache2.conf'),
      `ServerRoot ${dir}
ServerName 127.0.0.1
PidFile ${dir}/apache2.pid
Mutex file:${dir} default
ErrorLog ${dir}/error.log
ScriptSock ${dir}/cgid.sock
${load}
${asRoot ? 'User www-data\nGroup www-data' : ''}
Define APACHE_LOG_DIR ${dir}
CustomLog ${dir}/access.log "%h %l %u %t \\"%r\\" %>s %O"
Include ${dir}/site.conf
`,
    );
    return [start(dir, '/usr/sbin/apache2', ['-DFOREGROUND', '-f', path.join(dir, 'apache2.conf')])];
  },
};

export const servers = Object.keys(launchers);

/** Starts one server; the answer holds its origin, the node and stop(). */
export async function startServer(kind) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `lumenhollow-deploy-${kind}-`));
  fs.chmodSync(dir, 0o755);  // Apache's CGI user reads the home and runs the tools
  const node = makeNode(dir);
  const port = await freePort();
  let children = [];
  const stop = async () => {
    for (const child of children.reverse()) {
      if (!running.has(child)) continue;
      const exited = new Promise((resolve) => child.once('exit', resolve));
      killGroup(child, 'SIGTERM');
      const timer = setTimeout(() => killGroup(child, 'SIGKILL'), 3000);
      await exited;
      clearTimeout(timer);
    }
    fs.rmSync(dir, { recursive: true, force: true });
  };
  const log = (name) => {
    const file = path.join(dir, name);
    return fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
  };
  const errors = () => ['error.log', 'lumenhollow-login.error.log'].map(log).join('');
  try {
    children = await launchers[kind](dir, port, node);
    await waitFor(() => canConnect(port), children, () => `${kind}:\n${errors()}`);
  } catch (error) {
    await stop();
    throw error;
  }
  return {
    origin: `http://127.0.0.1:${port}`,
    node,
    errors,
    // Every access log the server writes: its own server-wide one and the site's.
    accessLogs: () =>
      fs
        .readdirSync(dir)
        .filter((name) => name.includes('access.log'))
        .map((name) => ({ name, text: log(name) })),
    stop,
  };
}
