// Picks the theme while the head is parsed, before the first paint. Storage, the query and media
// queries can all throw (sandboxed frames, privacy modes); a failing step counts as "no answer".
(() => {
  const root = document.documentElement;
  let search = '';
  try {
    search = location.search || '';
  } catch (e) {}

  let theme = '';
  try {
    const forced = /[?&]theme=(light|dark)/.exec(search);
    if (forced) theme = forced[1];
  } catch (e) {}
  if (!theme) {
    try {
      const stored = localStorage.getItem('bot_theme');
      if (stored === 'light' || stored === 'dark') theme = stored;
    } catch (e) {}
  }
  if (!theme) {
    try {
      const light = window.matchMedia && matchMedia('(prefers-color-scheme: light)').matches;
      theme = light ? 'light' : 'dark';
    } catch (e) {
      theme = 'dark';
    }
  }
  root.setAttribute('data-theme', theme);

  try {
    if (/[?&]embed=(1|true)(&|$)/.test(search)) root.classList.add('embedded');
  } catch (e) {}
  // Remembered so that a later load without ?theme= keeps this choice.
  try {
    localStorage.setItem('bot_theme', theme);
  } catch (e) {}
})();
