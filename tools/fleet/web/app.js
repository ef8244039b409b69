'use strict';
// The depot's page: tiles from /api/units kept current by the event stream /api/events;
// a unit's details, screen, events and configuration on request.

const ATTENTION = ['unreachable', 'stopped', 'unknown', 'linked', 'technician', 'running'];
const units = new Map(); // serial -> unit as /api/units gives it
const tiles = new Map(); // serial -> tile element
let summary = { units: 0, states: {}, broker: false, writable: false };
let selected = null;
let orderQueued = false;
let orderStale = true;

const $ = (id) => document.getElementById(id);

function el(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

function shortTime(iso) {
  if (!iso) return '–';
  const d = new Date(iso);
  if (isNaN(d)) return iso;
  const today = new Date().toDateString() === d.toDateString();
  return today ? d.toLocaleTimeString() : d.toLocaleString();
}

function rank(unit) {
  const i = ATTENTION.indexOf(unit.state);
  return i < 0 ? ATTENTION.length : i;
}

function matches(unit, filter) {
  if (!filter) return true;
  return [unit.serial, unit.state, unit.screen, unit.version].some((v) => (v || '').toLowerCase().includes(filter));
}

function fillTile(tile, unit) {
  tile.className = 'tile state-' + unit.state + (selected === unit.serial ? ' selected' : '');
  tile.dataset.state = unit.state;
  tile.replaceChildren();
  const head = el('div', 'head');
  head.append(el('span', 'serial', unit.serial), el('span', 'badge state-' + unit.state, unit.state));
  tile.append(head,
    el('div', 'line', 'Screen: ' + (unit.screen || '–')),
    el('div', 'line', 'Version: ' + (unit.version || '–')),
    el('div', 'line', 'Last seen: ' + shortTime(unit.lastSeen)),
    el('div', 'line', 'Validations today: ' + unit.validationsToday));
  const bars = el('div', 'bars');
  bars.title = 'Validations per hour today';
  const most = Math.max(1, ...unit.hourly);
  const hour = new Date().getHours();
  unit.hourly.forEach((n, h) => {
    const bar = el('span', h === hour ? 'now' : '');
    bar.style.height = Math.round((100 * n) / most) + '%';
    bar.title = h + ':00 ' + n;
    bars.append(bar);
  });
  tile.append(bars);
}

function showUnit(unit) {
  const before = units.get(unit.serial);
  // Only a new unit or a new state moves tiles; most changes are counts and times.
  if (!before || before.state !== unit.state) orderStale = true;
  units.set(unit.serial, unit);
  let tile = tiles.get(unit.serial);
  if (!tile) {
    tile = el('div', 'tile');
    tile.id = 'unit-' + unit.serial;
    tile.tabIndex = 0;
    tile.setAttribute('role', 'button');
    tile.addEventListener('click', () => openDetails(unit.serial));
    tile.addEventListener('keydown', (e) => { if (e.key === 'Enter') openDetails(unit.serial); });
    tiles.set(unit.serial, tile);
  }
  fillTile(tile, unit);
  if (selected === unit.serial) $('details-state').replaceChildren(stateLine(unit));
}

// Sorting thousands of tiles once per batch of changes, not once per unit.
function queueOrder() {
  if (orderQueued || !orderStale) return;
  orderQueued = true;
  requestAnimationFrame(() => {
    orderQueued = false;
    orderStale = false;
    const filter = $('filter').value.trim().toLowerCase();
    const list = [...units.values()].filter((u) => matches(u, filter));
    list.sort((a, b) => rank(a) - rank(b) || a.serial.localeCompare(b.serial));
    $('tiles').replaceChildren(...list.map((u) => tiles.get(u.serial)));
  });
}

function showSummary() {
  const parts = ATTENTION.filter((s) => summary.states[s]).map((s) => summary.states[s] + ' ' + s);
  $('summary').textContent = summary.units + ' units' + (parts.length ? ': ' + parts.join(', ') : '') +
    ' · depot broker ' + (summary.broker ? 'connected' : 'NOT connected') +
    (summary.writable ? '' : ' · read-only');
  $('config-form').hidden = !summary.writable;
}

function take(data) {
  if (data.summary) summary = data.summary;
  (data.units || []).forEach(showUnit);
  showSummary();
  queueOrder();
}

async function loadAll() {
  try {
    const r = await fetch('/api/units', { cache: 'no-store' });
    if (r.ok) take(await r.json());
  } catch (e) {
    $('summary').textContent = 'ticora-fleet does not answer: ' + e;
  }
}

function stateLine(unit) {
  const p = el('span');
  p.append(el('span', 'badge state-' + unit.state, unit.state), ' last seen ' + shortTime(unit.lastSeen) +
    ', version ' + (unit.version || '–'));
  return p;
}

function rows(table, pairs) {
  table.replaceChildren(...pairs.map(([k, v]) => {
    const tr = el('tr');
    tr.append(el('th', '', k), el('td', '', v));
    return tr;
  }));
}

async function openDetails(serial) {
  const previous = tiles.get(selected);
  if (previous) previous.classList.remove('selected');
  selected = serial;
  const tile = tiles.get(serial);
  if (tile) tile.classList.add('selected');
  $('details').hidden = false;
  $('details-title').textContent = serial;
  $('screen-img').hidden = true;
  $('screen-message').textContent = '';
  $('events').replaceChildren();
  $('events-message').textContent = '';
  $('config-result').textContent = '';
  if (units.has(serial)) $('details-state').replaceChildren(stateLine(units.get(serial)));
  const r = await fetch('/api/units/' + encodeURIComponent(serial), { cache: 'no-store' });
  if (!r.ok || selected !== serial) return;
  const unit = await r.json();
  const h = unit.health || {};
  const counts = h.counts || {};
  rows($('health'), Object.keys(h).length === 0 ? [['', 'no health report yet']] : [
    ['Screen', h.screen || '–'],
    ['Validator', (h.validatorStatus || '–') + (h.validatorReason ? ' (' + h.validatorReason + ')' : '')],
    ['Up for', h.uptimeSec !== undefined ? Math.round(h.uptimeSec / 60) + ' min' : '–'],
    ['Valid / already valid / refused / retry',
      [counts.valid, counts.alreadyValid, counts.refused, counts.retry].map((n) => n ?? 0).join(' / ')],
    ['Last validation', shortTime(h.lastValidation)],
    ['Technician logged in', h.technician ? 'yes' : 'no'],
    ['Event log free space', h.eventLogFreeBytes !== undefined ? (h.eventLogFreeBytes / 1048576).toFixed(1) + ' MB' : '–'],
    ['MQTT reconnections', String(h.mqttReconnects ?? '–')],
  ]);
  const config = [];
  for (const [group, members] of Object.entries(unit.config || {})) {
    if (members && typeof members === 'object')
      for (const [name, value] of Object.entries(members)) config.push([group + '/' + name, String(value)]);
  }
  rows($('config'), config.length ? config : [['', 'no configuration published yet']]);
  $('config-keys').replaceChildren(...config.map(([k]) => { const o = el('option'); o.value = k; return o; }));
  currentConfig = unit.config || {};
}

let currentConfig = {};

async function showScreen() {
  const serial = selected;
  $('screen-message').className = 'message';
  $('screen-message').textContent = 'Asking ' + serial + ' for its screen…';
  const r = await fetch('/api/units/' + encodeURIComponent(serial) + '/screenshot', { cache: 'no-store' });
  if (selected !== serial) return;
  if (!r.ok) {
    let why = r.statusText;
    try { why = (await r.json()).error; } catch (e) { /* not JSON */ }
    $('screen-message').className = 'message bad';
    $('screen-message').textContent = 'No picture: ' + why;
    return;
  }
  const img = $('screen-img');
  if (img.src.startsWith('blob:')) URL.revokeObjectURL(img.src);
  img.onload = () => {
    $('screen-message').textContent = 'Screen of ' + serial + ' at ' + new Date().toLocaleTimeString() +
      ' (' + img.naturalWidth + ' × ' + img.naturalHeight + ')';
    img.hidden = false;
  };
  img.src = URL.createObjectURL(await r.blob());
}

async function loadEvents() {
  const serial = selected;
  $('events-message').className = 'message';
  $('events-message').textContent = 'Asking ' + serial + ' for its events…';
  const r = await fetch('/api/units/' + encodeURIComponent(serial) + '/events?max=50', { cache: 'no-store' });
  if (selected !== serial) return;
  const data = await r.json().catch(() => ({}));
  if (!r.ok) {
    $('events-message').className = 'message bad';
    $('events-message').textContent = 'No events: ' + (data.error || r.statusText);
    return;
  }
  const list = data.events || [];
  $('events-message').textContent = list.length + ' events, newest first';
  $('events').replaceChildren(...list.map((e) => {
    const tr = el('tr');
    tr.append(el('td', '', shortTime(e.time)), el('td', '', e.category), el('td', '', e.name), el('td', '', e.description));
    return tr;
  }));
}

// The value keeps the type the unit's configuration has for the key: a number stays a
// number, true/false a boolean; "quoted" is always text.
function typedValue(key, text) {
  const [group, name] = key.split('/');
  const current = (currentConfig[group] || {})[name];
  if (text.length >= 2 && text.startsWith('"') && text.endsWith('"')) return text.slice(1, -1);
  if (typeof current === 'boolean' || (current === undefined && (text === 'true' || text === 'false')))
    return text === 'true';
  if ((typeof current === 'number' || current === undefined) && /^-?\d+(\.\d+)?$/.test(text)) return Number(text);
  return text;
}

async function applyConfig(event) {
  event.preventDefault();
  const serial = selected;
  const key = $('config-key').value.trim();
  const parts = key.split('/');
  const result = $('config-result');
  if (parts.length !== 2 || !parts[0] || !parts[1]) {
    result.className = 'message bad';
    result.textContent = 'The setting is group/name, for example gui/displayOffMin';
    return;
  }
  const change = { [parts[0]]: { [parts[1]]: typedValue(key, $('config-value').value) } };
  const r = await fetch('/api/units/' + encodeURIComponent(serial) + '/config', {
    method: 'POST',
    headers: { 'Content-Type': 'application/json', Authorization: 'Bearer ' + $('config-token').value },
    body: JSON.stringify(change),
  });
  const data = await r.json().catch(() => ({}));
  result.className = r.ok ? 'message' : 'message bad';
  result.textContent = r.ok ? 'Sent ' + key + ' to ' + serial + '; the unit shows it in its configuration once applied'
    : 'Refused: ' + (data.error || r.statusText);
  if (r.ok) setTimeout(() => { if (selected === serial) openDetails(serial); }, 1500);
}

function connect() {
  const stream = new EventSource('/api/events');
  // Anything missed while the stream was down comes with the full list.
  stream.onopen = loadAll;
  stream.addEventListener('units', (e) => take(JSON.parse(e.data)));
  stream.onerror = () => { $('summary').textContent = 'Connection to ticora-fleet lost; retrying…'; };
}

$('filter').addEventListener('input', () => { orderStale = true; queueOrder(); });
$('details-close').addEventListener('click', () => {
  const tile = tiles.get(selected);
  if (tile) tile.classList.remove('selected');
  selected = null;
  $('details').hidden = true;
});
$('show-screen').addEventListener('click', showScreen);
$('load-events').addEventListener('click', loadEvents);
$('config-form').addEventListener('submit', applyConfig);
loadAll().then(connect);
