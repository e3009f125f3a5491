// The three documented web servers, each started from its example in deploy/ on a free 127.0.0.1
// port, with its pid, logs, sockets and temp files and the node's home in a throw-away directory.
// Only the values an operator adapts are replaced in an example, and each must still be there, so
// an edited example cannot slip past the tests.
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

// Letters, digits and -._~ only: the kind of password every carrier passes unchanged.
export const password = 'Node-pw_4.~x';
export const code = '4/0AbC-x_y';

// Whatever is still running when the test process ends is killed with its children.
const running = new Set();
process.on('exit', () => running.forEach((child) => killGroup(child, 'SIGKILL')));

function killGroup(child, signal) {
  try {
    process.kill(-child.pid, signal);
  } catch {
    // already gone
  }
}

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer().on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

function accepts(port) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1');
    socket.once('connect', () => {
      socket.destroy();
      resolve(true);
    });
    socket.once('error', () => resolve(false));
  });
}

async function until(ready, children, what) {
  for (const deadline = Date.now() + 10_000; Date.now() < deadline; ) {
    if (children.some((c) => c.exitCode !== null || c.signalCode !== null)) break;
    if (await ready()) return;
    await new Promise((r) => setTimeout(r, 25));
  }
  throw new Error(`${what()} did not start`);
}

function start(dir, command, args) {
  const out = fs.openSync(path.join(dir, `${path.basename(command)}.out`), 'a');
  const child = spawn(command, args, { detached: true, stdio: ['ignore', out, out] });
  fs.closeSync(out);
  running.add(child);
  child.once('exit', () => running.delete(child));
  return child;
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

// The node: a home, and login and token tools that record their arguments. Apache's CGI user
// (www-data when the tests run as root) must reach all of it.
function makeNode(dir) {
  const tools = path.join(dir, 'tools');
  fs.mkdirSync(path.join(dir, 'home'));
  fs.mkdirSync(tools);
  fs.chmodSync(tools, 0o777);
  const script = (name, body) => {
    fs.writeFileSync(path.join(tools, name), `#!/bin/sh\necho "$*" >>"$0.calls"\n${body}\n`, {
      mode: 0o755,
    });
    return path.join(tools, name);
  };
  const status = '{"identity":"ops@example.com","logged_in":true,"has_refresh":true}';
  return {
    home: path.join(dir, 'home'),
    login: script('login', `[ "$1" = --status ] && echo '${status}' || echo '{"ok":true}'`),
    token: script('token', `echo '{"ok":true}'`),
    calls: path.join(tools, 'login.calls'),
  };
}

function nodePairs(node) {
  const program = path.join(buildDir, 'plugin_lumenhollow_login');
  if (!fs.existsSync(program)) throw new Error(`${program} is missing; build it first`);
  return [
    ['/usr/lib/cgi-bin/plugin_lumenhollow_login', program],
    ['/usr/bin/lumenhollow-login', node.login],
    ['/usr/bin/lumenhollow-token', node.token],
  ];
}

// Each writes the server's main configuration, a brief of Debian's with its server-wide access
// log on, around the example, and starts what it needs.
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
    fs.writeFileSync(
      path.join(dir, 'lighttpd.conf'),
      `server.modules = ("mod_indexfile", "mod_access", "mod_alias", "mod_redirect")
server.modules += ("mod_accesslog")
server.document-root = "${dir}/www"
server.bind = "127.0.0.1"
server.port = ${port}
server.errorlog = "${dir}/error.log"
accesslog.filename = "${dir}/access.log"
include "${dir}/site.conf"
`,
    );
    return [start(dir, '/usr/sbin/lighttpd', ['-D', '-f', path.join(dir, 'lighttpd.conf')])];
  },

  async nginx(dir, port, node) {
    // fcgiwrap as its unit starts it; the node's user is whoever runs the tests.
    const socket = path.join(dir, 'fcgiwrap.socket');
    const unit = adapt('lumenhollow-login-fcgiwrap.service', [
      ['/run/lumenhollow-login/fcgiwrap.socket', socket],
    ]);
    const execStart = unit.match(/^ExecStart=(.*)$/m)[1].split(/\s+/);
    const umask = unit.match(/^UMask=(\d+)$/m)[1];
    const wrap = start(dir, '/bin/sh', ['-c', `umask ${umask} && exec "$@"`, 'sh', ...execStart]);
    await until(async () => fs.existsSync(socket), [wrap], () => 'fcgiwrap');

    const site = adapt('nginx-lumenhollow-login.conf', [
      ...nodePairs(node),
      ['/home/node', node.home],
      ['127.0.0.1:8080', `127.0.0.1:${port}`],
      ['change-this-node-password', password],
      ['/var/log/nginx/lumenhollow-login.access.log', path.join(dir, 'site-access.log')],
      ['unix:/run/lumenhollow-login/fcgiwrap.socket', `unix:${socket}`],
    ]);
    fs.writeFileSync(path.join(dir, 'site.conf'), site);
    fs.copyFileSync('/etc/nginx/fastcgi_params', path.join(dir, 'fastcgi_params'));
    const temp = ['client_body', 'fastcgi', 'proxy', 'uwsgi', 'scgi']
      .map((name) => `  ${name}_temp_path ${dir}/${name};`)
      .join('\n');
    fs.writeFileSync(
      path.join(dir, 'nginx.conf'),
      `${asRoot ? 'user root;' : ''}
daemon off;
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
    return [wrap, start(dir, '/usr/sbin/nginx', ['-p', dir, '-c', path.join(dir, 'nginx.conf')])];
  },

  async apache(dir, port, node) {
    const site = adapt('apache-lumenhollow-login.conf', [
      ...nodePairs(node),
      ['/var/lib/lumenhollow-login', node.home],
      ['127.0.0.1:8080', `127.0.0.1:${port}`],
      ['change-this-node-password', password],
    ]);
    fs.writeFileSync(path.join(dir, 'site.conf'), site);
    const load = ['mpm_event', 'authz_core', 'alias', 'cgid', 'env', 'rewrite']
      .map((name) => `LoadModule ${name}_module /usr/lib/apache2/modules/mod_${name}.so`)
      .join('\n');
    const conf = path.join(dir, 'apache2.conf');
    fs.writeFileSync(
      conf,
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
    return [start(dir, '/usr/sbin/apache2', ['-DFOREGROUND', '-f', conf])];
  },
};

export const servers = Object.keys(launchers);

/** Starts one server: its origin, the node, its logs, and stop(). */
export async function startServer(kind) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), `lumenhollow-deploy-${kind}-`));
  fs.chmodSync(dir, 0o755);
  const node = makeNode(dir);
  const port = await freePort();
  const read = (name) => {
    const file = path.join(dir, name);
    return fs.existsSync(file) ? fs.readFileSync(file, 'utf8') : '';
  };
  const errors = () => read('error.log') + read('lumenhollow-login.error.log');
  let children = [];
  const stop = async () => {
    for (const child of children.filter((c) => running.has(c)).reverse()) {
      const exited = new Promise((resolve) => child.once('exit', resolve));
      killGroup(child, 'SIGTERM');
      const timer = setTimeout(() => killGroup(child, 'SIGKILL'), 3000);
      await exited;
      clearTimeout(timer);
    }
    fs.rmSync(dir, { recursive: true, force: true });
  };
  try {
    children = await launchers[kind](dir, port, node);
    await until(() => accepts(port), children, () => `${kind}:\n${errors()}`);
  } catch (error) {
    await stop();
    throw error;
  }
  return {
    origin: `http://127.0.0.1:${port}`,
    node,
    errors,
    // Every access log: the server-wide one and the site's own.
    accessLogs: () =>
      fs
        .readdirSync(dir)
        .filter((name) => name.includes('access.log'))
        .map((name) => ({ name, text: read(name) })),
    stop,
  };
}
