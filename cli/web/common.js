'use strict';
// What both pages share: the token for a station that listens beyond loopback, and text cells.
// The token comes in the address's fragment (#token=...), which a browser never sends to a
// server, so it is in no log; it is kept for this tab only, and taken out of the address bar.
const padsmith = (() => {
  const key = 'padsmith-token';
  const given = /^#token=(.+)$/.exec(location.hash);
  if (given) {
    sessionStorage.setItem(key, decodeURIComponent(given[1]));
    history.replaceState(null, '', location.pathname + location.search);
  }
  const token = sessionStorage.getItem(key);
  return {
    headers() {
      return token ? { Authorization: 'Bearer ' + token } : {};
    },
    // A table cell holding `text` as text: nothing a display says is ever read as markup.
    cell(row, text, className) {
      const cell = row.insertCell();
      cell.textContent = text === null || text === undefined ? '' : String(text);
      if (className) cell.className = className;
      return cell;
    },
  };
})();
