// Plays the person at the browser: follows the authorization address through the stand-in's own
// login and consent pages and returns the address the browser would land on
// (http://localhost/?code=...&state=...&iss=...), without ever contacting localhost.
//
//   const landing = await approve(authUrl, { login: 'ada@example.test' });
const maxSteps = 20;

function decodeEntities(text) {
  return text.replace(/&quot;/g, '"').replace(/&#39;/g, "'").replace(/&lt;/g, '<').replace(/&gt;/g, '>').replace(/&amp;/g, '&');
}

function attribute(tag, name) {
  const match = tag.match(new RegExp(`\\s${name}="([^"]*)"`));
  return match ? decodeEntities(match[1]) : null;
}

// The first form on the page: where it posts and the fields it would send once filled in.
function readForm(html, login) {
  const form = html.match(/<form\b[^>]*>/);
  if (!form) return null;
  const fields = new URLSearchParams();
  for (const [input] of html.matchAll(/<input\b[^>]*>/g)) {
    const name = attribute(input, 'name');
    if (!name) continue;
    if (name === 'login') fields.set(name, login);
    else if (name === 'password') fields.set(name, 'any password');
    else fields.set(name, attribute(input, 'value') ?? '');
  }
  return { action: attribute(form[0], 'action'), fields };
}

function keepCookies(jar, response) {
  for (const header of response.headers.getSetCookie()) {
    const [pair, ...attributes] = header.split(';');
    const at = pair.indexOf('=');
    const name = pair.slice(0, at).trim();
    const value = pair.slice(at + 1).trim();
    const expired = attributes.some((a) => {
      const [key, v = ''] = a.trim().split('=');
      if (key.toLowerCase() === 'max-age') return Number(v) <= 0;
      if (key.toLowerCase() === 'expires') return Date.parse(v) <= Date.now();
      return false;
    });
    if (expired || value === '') jar.delete(name);
    else jar.set(name, value);
  }
}

export async function approve(authUrl, { login }) {
  const origin = new URL(authUrl).origin;
  const jar = new Map();
  let url = authUrl;
  let request = { method: 'GET' };
  for (let step = 0; step < maxSteps; step += 1) {
    const cookie = [...jar].map(([k, v]) => `${k}=${v}`).join('; ');
    const response = await fetch(url, {
      ...request,
      redirect: 'manual',
      headers: { ...request.headers, ...(cookie ? { cookie } : {}) },
    });
    keepCookies(jar, response);
    const location = response.headers.get('location');
    if (response.status >= 300 && response.status < 400 && location) {
      const next = new URL(location, url);
      if (next.origin !== origin) return next.href;
      url = next.href;
      request = { method: 'GET' };
      continue;
    }
    const body = await response.text();
    const form = response.ok ? readForm(body, login) : null;
    if (!form) {
      const text = body.replace(/<[^>]*>/g, ' ').replace(/\s+/g, ' ').trim();
      throw new Error(`${url} answered ${response.status}: ${text.slice(0, 300)}`);
    }
    url = new URL(form.action, url).href;
    request = {
      method: 'POST',
      headers: { 'content-type': 'application/x-www-form-urlencoded' },
      body: form.fields.toString(),
    };
  }
  throw new Error(`no landing address after ${maxSteps} steps`);
}
