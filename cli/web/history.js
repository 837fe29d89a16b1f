'use strict';
// The station's history, newest first, filtered by serial, port, date and result; the filters
// stay in the address (?serial=...), so a filtered view can be bookmarked.
const form = document.getElementById('filters');

function records(run) {
  return run.recordsSent === null ? '' : run.recordsSent + ' sent, ' + run.recordsRefused + ' refused';
}

async function show() {
  const query = new URLSearchParams();
  for (const [name, value] of new FormData(form)) if (value) query.set(name, value);
  history.replaceState(null, '', '/history' + (query.size || [...query].length ? '?' + query : ''));
  const summary = document.getElementById('summary');
  const body = document.querySelector('#runs tbody');
  body.replaceChildren();
  const response = await fetch('/api/history?' + query, { headers: padsmith.headers(), cache: 'no-store' });
  const answer = await response.json().catch(() => ({ error: response.statusText }));
  if (!response.ok) {
    summary.textContent = 'not shown: ' + answer.error;
    return;
  }
  summary.textContent = answer.runs.length + (answer.runs.length === 1 ? ' run' : ' runs') +
    (answer.more ? ' (the newest; narrow the filters for older ones)' : '');
  for (const run of answer.runs) {
    const row = body.insertRow();
    row.className = run.result;
    padsmith.cell(row, run.started);
    padsmith.cell(row, run.result, 'result');
    padsmith.cell(row, run.location, 'port');
    padsmith.cell(row, run.serial, 'serial');
    padsmith.cell(row, run.imageSha256 ? run.imageSha256.slice(0, 12) : '');
    padsmith.cell(row, records(run));
    padsmith.cell(row, run.errorKind ? run.errorKind + ': ' + run.errorMessage : run.errorMessage, 'error');
  }
}

for (const [name, value] of new URLSearchParams(location.search)) {
  if (form.elements[name]) form.elements[name].value = value;
}
form.addEventListener('submit', (event) => {
  event.preventDefault();
  show();
});
show();
