'use strict';

const $ = (id) => document.getElementById(id);
const query = new URLSearchParams(location.search);

// A storage that cannot be used (blocked, sandboxed) reads as empty.
function stored(key) {
  try {
    return localStorage.getItem(key) || '';
  } catch (e) {
    return '';
  }
}

const node = query.get('node') || '';
const sid = query.get('id') || '';
const pwd = query.get('pwd') || (node && stored('bot_pwd_' + node)) || stored('bot_active_pwd');
const HUB = query.get('plugin') || '';
let authUrl = '';
// The status last shown, so that a start can show its own pending sign-in without another call.
let shown = null;
// Where an operator removes a node's access by hand when Google did not confirm a revocation.
const connectionsPage = 'https://myaccount.google.com/connections';

const label = {
  start: 'Start Google Login',
  finish: 'Authorize & Discover Project',
  refresh: 'Refresh Token Now',
  restart: 'Start again',
  signOut: 'Sign out and revoke',
  switch: 'Switch',
};

// Through the hub the page must call the hub's plugin route back; on the node itself
// /plugins?plugin= lists the node's plugins instead of reaching this program.
function url(action, extra) {
  let address = HUB
    ? '/plugins?plugin=' + encodeURIComponent(HUB) + '&action=' + encodeURIComponent(action)
    : '/plugin_lumenhollow_login?action=' + encodeURIComponent(action);
  if (extra) address += '&' + extra;
  if (node) address += '&node=' + encodeURIComponent(node);
  if (sid) address += '&id=' + encodeURIComponent(sid);
  if (pwd) address += '&pwd=' + encodeURIComponent(pwd);
  return address;
}

function hdr() {
  const headers = {};
  if (pwd) headers['X-Bot-Password'] = pwd;
  return headers;
}

// Answers are judged by their `ok` member, never by the HTTP status: a refused password comes
// back as a 401 with a JSON body the page shows like any other error.
async function answerOf(response) {
  const text = await response.text();
  try {
    return JSON.parse(text);
  } catch (e) {
    return { ok: false, error: 'bad response' };
  }
}

async function api(action, extra) {
  return answerOf(await fetch(url(action, extra), { headers: hdr(), cache: 'no-store' }));
}

// The calls that change the node go as a JSON POST: a page on another site cannot make a browser
// send one without a preflight, which the program never grants.
async function post(action, body) {
  const headers = { ...hdr(), 'Content-Type': 'application/json' };
  const request = { method: 'POST', headers, body: JSON.stringify(body), cache: 'no-store' };
  return answerOf(await fetch(url(action), request));
}

// What the operator can do after a failed start or exchange, by the answer's error code; the
// toast or note keeps the answer's own detail.
const advice = {
  invalid_grant:
    'Google no longer accepts this code: it was used already, has expired or belongs to another ' +
    'sign-in. Start again and paste the new address.',
  login_expired:
    'This sign-in waited too long and has lapsed. Start again and paste the address soon after ' +
    'approving.',
  no_pending_login:
    'No sign-in is waiting on this node: it was finished or cancelled elsewhere. Start again.',
  state_mismatch:
    'The pasted address belongs to another sign-in, perhaps from an older tab. Start again and ' +
    'use the link from this page.',
  missing_code:
    'The pasted text holds no code. Copy the whole address the browser landed on after approving ' +
    'and paste it again.',
  access_denied: "Access was refused on Google's page. Start again and choose Allow.",
  invalid_code:
    'Paste the address exactly as the browser shows it, or only the value after code=, with ' +
    'nothing around it.',
  busy: 'Another sign-in step is still running on this node. Wait a moment and try again.',
  client_missing:
    "This node has no OAuth client file yet. Put the Desktop app client's JSON file in place as " +
    'the README describes, then start again.',
  client_invalid:
    "The node's OAuth client file is not a Desktop app client. Download that client's JSON " +
    'again, replace the file and start again.',
  storage_failed:
    "The node could not write its sign-in state. Check that the web server's user owns its " +
    'home directory, then try again.',
  server_unreachable:
    'This node could not reach Google. Check its network connection and try again.',
};

// Google's refusal address carries error=access_denied and no code; the program turns it down as
// an invalid code (its '&' is a shell character) before the login CLI sees it.
function adviceFor(answer, pasted) {
  const code = answer && answer.error;
  const refused = /(^|[?&#])error=access_denied(&|#|$)/.test(pasted);
  if (code === 'invalid_code' && refused) return advice.access_denied;
  return (typeof code === 'string' && Object.hasOwn(advice, code) && advice[code]) || '';
}

const reason = (err) => (err && err.message) || String(err);
const failText = (answer, fallback) => (answer && (answer.detail || answer.error)) || fallback;

let toastTimer = 0;
function toast(message) {
  const box = $('toast');
  box.textContent = message;
  box.classList.add('show');
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => box.classList.remove('show'), 2200);
}

function note(box, message, kind) {
  box.textContent = message || '';
  box.className = message ? 'note show' + (kind ? ' ' + kind : '') : 'note';
}

// rows: [label, value, plain]; plain values use the text font instead of the monospace one.
function kv(box, rows) {
  box.replaceChildren();
  for (const [key, value, plain] of rows) {
    const k = document.createElement('div');
    k.className = 'k';
    k.textContent = key;
    const v = document.createElement('div');
    v.className = plain ? 'v plain' : 'v';
    v.textContent = value;
    box.append(k, v);
  }
}

function fmtExpiry(seconds) {
  if (!seconds && seconds !== 0) return '-';
  if (seconds <= 0) return 'expired';
  if (seconds < 90) return seconds + 's';
  if (seconds < 5400) return Math.round(seconds / 60) + ' min';
  if (seconds < 172800) return Math.round(seconds / 3600) + ' h';
  return Math.round(seconds / 86400) + ' d';
}

function setPill(status) {
  let kind = 'off';
  let text = 'Not Connected';
  if (status.logged_in && status.expired) {
    kind = 'warn';
    text = 'Expired';
  } else if (status.logged_in) {
    kind = 'ok';
    text = 'Connected';
  } else if (status.pending) {
    kind = 'warn';
    text = 'Signing in';
  }
  $('pill').className = 'pill ' + kind;
  $('pillText').textContent = text;
}

function showStep(step) {
  $('step1').classList.toggle('on', step === 1);
  $('step2').classList.toggle('on', step === 2);
}

// Step 2 without an address (the page was reloaded during a sign-in) says where the link is.
function showLinkElsewhere() {
  $('linkElsewhere').hidden = authUrl !== '';
}

function render(status) {
  shown = status;
  setPill(status);
  $('sub').textContent = status.email || 'OAuth 2.0 PKCE login on this node';

  let lead = 'No Google session on this node yet. Start a login below.';
  if (status.logged_in && status.expired) {
    lead = 'The session is present but its access token has expired. Use Refresh Token Now.';
  } else if (status.logged_in) {
    lead = 'This node holds a Google Lumenhollow session.';
  }
  $('sessionLead').textContent = lead;

  kv($('session'), [
    ['Account', status.email || '-', true],
    ['Logged in', status.logged_in ? 'yes' : 'no', true],
    ['Refresh token', status.has_refresh ? 'stored' : 'none', true],
    ['Token expires', status.logged_in ? fmtExpiry(status.expires_in_sec) : '-', true],
    ['Login pending', status.pending ? 'yes' : 'no', true],
    ['Login CLI', status.cli_present ? 'found' : 'not found', true],
    ['Credentials', status.credentials_path || '-', false],
  ]);
  kv($('project'), [
    status.project_id
      ? ['Project ID', status.project_id, false]
      : ['Project ID', '(consumer shared project)', true],
    ['Profile', status.profile || '-', true],
    ['Provider', 'google (Lumenhollow)', true],
  ]);

  // A finished or abandoned sign-in is shown by the flows themselves, so only switch towards step 2.
  if (status.pending) showStep(2);
  showLinkElsewhere();
  showAccountControls(status);
}

// Sign-out and the word beside Start follow the account in use: a new sign-in adds an account,
// it does not replace this one.
function showAccountControls(status) {
  const email = status.email || '';
  $('signOut').hidden = !email;
  if (!email) closeSignOut();
  const adds = $('addAccount');
  adds.hidden = !email;
  adds.textContent = email
    ? `A new sign-in adds another account; ${email} stays stored and you can switch back.`
    : '';
}

// The stored accounts, shown when there is more than one to choose from. The list is an extra:
// when it cannot be had, the page shows the session alone and says nothing.
async function listAccounts() {
  let answer = null;
  if (shown && shown.email) {
    try {
      answer = await api('accounts');
    } catch (err) {
      answer = null;
    }
  }
  const ok = answer && answer.ok === true && Array.isArray(answer.accounts);
  const accounts = ok ? answer.accounts.filter((a) => a && typeof a.email === 'string' && a.email) : [];
  const selected = (ok && answer.selected) || (shown && shown.email) || '';
  const list = $('accountList');
  list.replaceChildren();
  $('accounts').hidden = accounts.length < 2;
  for (const account of accounts) {
    const item = document.createElement('li');
    const name = document.createElement('span');
    name.className = 'account-email';
    name.textContent = account.email;
    item.append(name);
    if (account.email === selected) {
      item.setAttribute('aria-current', 'true');
      const mark = document.createElement('span');
      mark.className = 'badge';
      mark.textContent = 'in use';
      item.append(mark);
    } else {
      const button = document.createElement('button');
      button.type = 'button';
      button.className = 'btn ghost small';
      button.textContent = label.switch;
      button.setAttribute('aria-label', `Switch to ${account.email}`);
      button.addEventListener('click', () => switchTo(account.email, button));
      item.append(button);
    }
    list.append(item);
  }
}

async function switchTo(email, button) {
  if (button.disabled) return;
  const box = $('accountsNote');
  busy(button, 'Switching...');
  note(box, '');
  let answer;
  try {
    answer = await post('select', { email });
  } catch (err) {
    idle(button, label.switch);
    note(box, 'Switch failed: ' + reason(err), 'err');
    return;
  }
  if (!answer || answer.ok !== true) {
    idle(button, label.switch);
    note(box, failText(answer, 'switch failed'), 'err');
    return;
  }
  render(answer);
  toast('Now using ' + (answer.email || email));
  await listAccounts();
  // The pressed button went with the old list; the keyboard stays with the accounts.
  $('accounts').focus();
}

async function load() {
  let answer;
  try {
    answer = await api('status');
  } catch (err) {
    toast('Status failed: ' + reason(err));
    return;
  }
  if (!answer || answer.ok !== true) {
    toast((answer && answer.error) || 'status failed');
    return;
  }
  render(answer);
  listAccounts();
}

function busy(button, text) {
  button.disabled = true;
  button.textContent = text;
}

function idle(button, text) {
  button.disabled = false;
  button.textContent = text;
}

// Starts a sign-in from either button that offers one: Start Google Login in step 1, or Start
// again in step 2 when the link of the pending sign-in is not in this tab. Advice on a failure goes
// beside the button pressed.
async function startFrom(button, text, adviceBox) {
  busy(button, 'Starting...');
  let answer;
  try {
    answer = await api('start');
  } catch (err) {
    idle(button, text);
    toast('Start failed: ' + reason(err));
    return;
  }
  idle(button, text);
  if (!answer || answer.ok !== true) {
    toast(failText(answer, 'start failed'));
    adviceBox.textContent = adviceFor(answer, '');
    return;
  }
  // A new sign-in: what was said about an earlier attempt no longer applies.
  note($('loginNote'), '');
  $('loginAdvice').textContent = '';
  $('startAdvice').textContent = '';
  authUrl = answer.auth_url || '';
  $('authUrl').textContent = authUrl;
  // Only a web address becomes the link's target; anything else stays visible as text.
  $('linkOpen').href = /^https?:\/\//i.test(authUrl) ? authUrl : '#';
  if (answer.hint) $('flowHint').textContent = answer.hint;
  // The session table and pill show the sign-in now pending, as a reload would.
  if (shown) render({ ...shown, pending: true });
  showStep(2);
  showLinkElsewhere();
  $('codeInput').focus();
}

function start() {
  return startFrom($('btnStart'), label.start, $('startAdvice'));
}

function restart() {
  return startFrom($('btnRestart'), label.restart, $('loginAdvice'));
}

async function finish() {
  const button = $('btnFinish');
  const box = $('loginNote');
  // The keyboard shortcut must not send a second exchange while one is running.
  if (button.disabled) return;
  const code = $('codeInput').value.trim();
  if (!code) {
    note(box, 'Paste the code or the redirect address first.', 'err');
    return;
  }
  busy(button, 'Authorizing...');
  note(box, 'Exchange in progress. The Google project discovery can take a few seconds.');
  $('loginAdvice').textContent = '';
  let answer;
  try {
    answer = await api('finish', 'code=' + encodeURIComponent(code));
  } catch (err) {
    idle(button, label.finish);
    note(box, 'Exchange failed: ' + reason(err), 'err');
    return;
  }
  idle(button, label.finish);
  if (!answer || answer.ok !== true) {
    note(box, failText(answer, 'exchange failed'), 'err');
    $('loginAdvice').textContent = adviceFor(answer, code);
    return;
  }
  note(box, '');
  // A refresh that failed before this sign-in (no account yet, a revoked token) is settled now.
  if ($('refreshNote').classList.contains('err')) note($('refreshNote'), '');
  showStep(1);
  $('codeInput').value = '';
  signedOutSays([]);
  render(answer);
  toast('Signed in as ' + (answer.email || 'Google account'));
  listAccounts();
}

// The sign-out's answer in words; parts are texts and elements.
function signedOutSays(parts, kind) {
  const box = $('signOutResult');
  box.replaceChildren(...parts);
  box.className = parts.length ? 'outcome show ' + kind : 'outcome';
}

function askSignOut() {
  const email = (shown && shown.email) || 'this account';
  $('signOutQuestion').textContent =
    `Sign out of ${email}? The node asks Google to revoke its access and forgets the account.`;
  signedOutSays([]);
  $('btnSignOut').hidden = true;
  $('signOutConfirm').hidden = false;
  // The harmless answer takes the keyboard first.
  $('btnSignOutNo').focus();
}

function closeSignOut(refocus) {
  $('signOutConfirm').hidden = true;
  $('btnSignOut').hidden = false;
  if (refocus) $('btnSignOut').focus();
}

async function signOut() {
  const yes = $('btnSignOutYes');
  const no = $('btnSignOutNo');
  if (yes.disabled) return;
  const email = (shown && shown.email) || '';
  busy(yes, 'Signing out...');
  no.disabled = true;
  let answer;
  try {
    answer = await post('logout', email ? { email } : {});
  } catch (err) {
    answer = { ok: false, detail: 'Sign-out failed: ' + reason(err) };
  }
  idle(yes, label.signOut);
  no.disabled = false;
  if (!answer || answer.ok !== true) {
    signedOutSays([failText(answer, 'sign-out failed')], 'err');
    return;
  }
  closeSignOut(false);
  render(answer);
  const who = email || 'the account';
  const parts = [];
  if (answer.revoked === true) {
    parts.push(`Signed out of ${who}. Google confirmed that the node's access is revoked.`);
  } else {
    const link = document.createElement('a');
    link.href = connectionsPage;
    link.target = '_blank';
    link.rel = 'noopener noreferrer';
    link.textContent = connectionsPage;
    parts.push(
      `Signed out of ${who} on this node, but Google could not confirm the revocation. ` +
        'Remove the access by hand at ',
      link,
      '.',
    );
  }
  parts.push(
    answer.email
      ? ` The node now uses ${answer.email}.`
      : ' No account is signed in on this node now.',
  );
  signedOutSays(parts, answer.revoked === true ? 'ok' : 'warn');
  await listAccounts();
  (answer.email ? $('btnSignOut') : $('btnStart')).focus();
}

// The answer is not examined: whatever the login CLI says, the pending sign-in is abandoned here
// and the fresh status tells the truth.
async function cancel() {
  try {
    await api('cancel');
  } catch (err) {
    toast('Cancel failed: ' + reason(err));
    return;
  }
  showStep(1);
  $('codeInput').value = '';
  note($('loginNote'), '');
  $('loginAdvice').textContent = '';
  toast('Pending login cancelled');
  load();
}

async function refreshToken() {
  const button = $('btnRefresh');
  const box = $('refreshNote');
  busy(button, 'Refreshing...');
  note(box, 'Asking Google for a new access token...');
  let answer;
  try {
    answer = await api('refresh');
  } catch (err) {
    idle(button, label.refresh);
    note(box, 'Refresh failed: ' + reason(err), 'err');
    return;
  }
  idle(button, label.refresh);
  if (!answer || answer.ok !== true) {
    note(box, failText(answer, 'refresh failed'), 'err');
    return;
  }
  note(box, 'Token refreshed. Expires in ' + fmtExpiry(answer.expires_in_sec) + '.', 'ok');
  render(answer);
}

function copyLink() {
  if (!authUrl) return;
  if (navigator.clipboard && navigator.clipboard.writeText) {
    navigator.clipboard.writeText(authUrl).then(
      () => toast('Link copied'),
      () => toast('Copy failed'),
    );
  } else {
    toast('Copy not available');
  }
}

// The theme shell's bridge loads after this script, so it is looked up at click time.
function toggleTheme() {
  if (typeof window.qvApplyTheme !== 'function' || typeof window.qvTheme !== 'function') return;
  window.qvApplyTheme(window.qvTheme() === 'dark' ? 'light' : 'dark');
}

$('btnReload').addEventListener('click', load);
$('btnStart').addEventListener('click', start);
$('btnRestart').addEventListener('click', restart);
$('btnFinish').addEventListener('click', finish);
$('btnCancel').addEventListener('click', cancel);
$('btnRefresh').addEventListener('click', refreshToken);
$('btnCopy').addEventListener('click', copyLink);
$('btnSignOut').addEventListener('click', askSignOut);
$('btnSignOutYes').addEventListener('click', signOut);
$('btnSignOutNo').addEventListener('click', () => closeSignOut(true));
$('signOutConfirm').addEventListener('keydown', (event) => {
  if (event.key === 'Escape' && !$('btnSignOutYes').disabled) closeSignOut(true);
});
$('themeToggle').addEventListener('click', toggleTheme);
$('codeInput').addEventListener('keydown', (event) => {
  if (event.key === 'Enter' && (event.ctrlKey || event.metaKey)) {
    event.preventDefault();
    finish();
  }
});

load();
