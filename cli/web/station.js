'use strict';
// The station's ports and counts, followed live from its event stream (/events): "ports" events
// carry the ports as the station's model holds them; every other event is an object as
// `padsmith station --json` prints it, listed under Events.
const mostEvents = 200;

function seconds(value) {
  return value > 0 ? value.toFixed(1) + ' s' : '';
}

function stateText(port) {
  if (port.outOfService) {
    const last = port.failures[port.failures.length - 1];
    return 'out of service' + (last ? ': ' + last.message : '');
  }
  if (port.state === 'writing') return 'writing ' + port.percent + ' %';
  if (port.state === 'failed' && port.lastError) return 'failed: ' + port.lastError;
  return port.state;
}

function showPorts(view) {
  const body = document.querySelector('#ports tbody');
  body.replaceChildren();
  for (const port of view.ports) {
    const row = body.insertRow();
    row.dataset.port = port.port;
    row.className = port.outOfService ? 'out' : port.state;
    padsmith.cell(row, port.port, 'port');
    padsmith.cell(row, stateText(port), 'state');
    const progress = document.createElement('progress');
    progress.max = 100;
    progress.value = port.state === 'writing' ? port.percent : port.state === 'done' ? 100 : 0;
    padsmith.cell(row, '', 'progress').append(progress);
    padsmith.cell(row, port.serial, 'serial');
    padsmith.cell(row, seconds(port.seconds), 'time');
    const last = port.lastResult === null ? '' : port.lastResult + (port.lastError ? ': ' + port.lastError : '');
    padsmith.cell(row, last, 'last');
    padsmith.cell(row, port.done, 'number done');
    padsmith.cell(row, port.failed, 'number failed');
  }
  const station = view.station;
  document.getElementById('written').textContent = station.written;
  document.getElementById('failed').textContent = station.failed;
  document.getElementById('perHour').textContent = station.displaysPerHour.toFixed(0);
  document.getElementById('yield').textContent =
    station.firstPassYield === null ? '-' : (station.firstPassYield * 100).toFixed(1) + ' % of ' + station.displays;
}

function showEvent(event) {
  const list = document.getElementById('events');
  const item = document.createElement('li');
  let text = event.time + '  ' + event.port + '  ' + event.event;
  if (event.serial) text += '  serial ' + event.serial;
  if (event.event === 'result') text += '  ' + event.result + (event.error ? ': ' + event.error.message : '');
  if (event.event === 'quarantined') text += '  out of service after ' + event.failures.length + ' failures in a row';
  item.textContent = text;
  list.prepend(item);
  while (list.children.length > mostEvents) list.lastChild.remove();
}

function setConnection(text, broken) {
  const line = document.getElementById('connection');
  line.textContent = text;
  line.className = broken ? 'broken' : '';
}

// One server-sent event: its name and its data lines.
function take(block) {
  let name = 'message';
  let data = '';
  for (const line of block.split('\n')) {
    if (line.startsWith('event: ')) name = line.slice(7);
    else if (line.startsWith('data: ')) data += line.slice(6);
  }
  if (!data) return;  // a keep-alive comment
  const object = JSON.parse(data);
  if (name === 'ports') showPorts(object);
  else showEvent(object);
}

// fetch rather than EventSource: it can send the token in a header.
async function follow() {
  for (;;) {
    try {
      const response = await fetch('/events', { headers: padsmith.headers(), cache: 'no-store' });
      if (response.status === 401) {
        setConnection('refused: this station needs its token (open the page as /#token=...)', true);
        return;
      }
      if (!response.ok) throw new Error(response.statusText);
      setConnection('live', false);
      const reader = response.body.getReader();
      const decoder = new TextDecoder();
      let buffer = '';
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        buffer += decoder.decode(value, { stream: true });
        let end;
        while ((end = buffer.indexOf('\n\n')) >= 0) {
          take(buffer.slice(0, end));
          buffer = buffer.slice(end + 2);
        }
      }
    } catch (error) {
      // the station stopped, or the stream dropped: try again
    }
    setConnection('connecting again', true);
    await new Promise((resolve) => setTimeout(resolve, 1000));
  }
}

follow();
