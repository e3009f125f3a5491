// Lets a hosting window read and set the theme; runs after the page's own script.
(() => {
  const root = document.documentElement;

  function applyTheme(theme) {
    if (theme !== 'light' && theme !== 'dark') return;
    if (root.getAttribute('data-theme') === theme) return;
    root.setAttribute('data-theme', theme);
    try {
      localStorage.setItem('bot_theme', theme);
    } catch (e) {}
    try {
      window.dispatchEvent(new CustomEvent('bot-theme', { detail: theme }));
    } catch (e) {}
  }

  window.qvApplyTheme = applyTheme;
  window.qvTheme = () => {
    const theme = root.getAttribute('data-theme');
    return theme === 'light' || theme === 'dark' ? theme : 'dark';
  };

  // Any origin may set the theme: a theme word is all a message can carry here.
  window.addEventListener('message', (event) => {
    const data = event.data;
    if (data && typeof data === 'object' && data.type === 'qv-theme') applyTheme(data.theme);
  });

  try {
    if (window.parent && window.parent !== window) {
      window.parent.postMessage({ type: 'qv-theme-request' }, '*');
    }
  } catch (e) {}
})();
