'use strict';
// The preview page: asks the server for frames as the user moves, keeps the track bars, the
// diagnostics, the script and the curves in step with the server's events.
const $ = (id) => document.getElementById(id);
let state = null;        // /api/state
let statements = [];     // /api/script's statements
let frame = 0;
let playing = null;      // the play timer
let selectedLine = 0;    // the script line whose curves are drawn
let curve = null;        // /api/curves of that line
const DISPLAY_TRACK = 1;

async function json(url, options) {
  const response = await fetch(url, options);
  const body = await response.json();
  if (!response.ok) throw new Error(body.error || response.statusText);
  return body;
}

// --- frames: one request at a time, the latest wish served next
let inFlight = false, wanted = null, exactWait = null;
function show(n) {
  frame = Math.max(0, Math.min(state.frame_count - 1, n));
  $('scrubber').value = frame;
  $('frame-number').textContent = `${frame} / ${state.frame_count - 1}`;
  $('frame-time').textContent = `${(frame / state.rate).toFixed(3)} s`;
  document.body.dataset.frame = frame;
  markRunningLines();
  drawNow();
  wanted = frame;
  pump();
  clearTimeout(waveformTimer);
  if (!playing) waveformTimer = setTimeout(drawWaveform, 300);
}
let waveformTimer = null;
async function pump() {
  if (inFlight || wanted === null) return;
  const n = wanted;
  wanted = null;
  inFlight = true;
  try {
    const response = await fetch(`/frame/${n}.${playing ? 'jpg' : 'png'}`);
    if (response.ok) await display(response, n);
    if (!playing && response.headers.get('X-Kinetra-Exact') !== '1' && wanted === null) awaitExact(n);
    if (!playing) loadSource(n);
  } finally {
    inFlight = false;
    pump();
  }
}
async function display(response, n) {
  const url = URL.createObjectURL(await response.blob());
  const image = $('frame-image');
  const old = image.src;
  image.src = url;
  await image.decode().catch(() => {});
  if (old.startsWith('blob:')) URL.revokeObjectURL(old);
  const exact = response.headers.get('X-Kinetra-Exact') === '1';
  $('exact').textContent = exact ? 'exact' : 'not exact yet';
  $('exact').className = 'badge ' + (exact ? 'exact' : 'inexact');
  const ms = parseFloat(response.headers.get('X-Kinetra-Render-Ms') || '0');
  $('render-time').textContent = ms > 0 ? `rendered in ${ms.toFixed(1)} ms` : 'kept from the in-order play';
  document.body.dataset.shown = `${n}:${exact ? 1 : 0}:${state.script_version}`;
  document.body.dataset.shownCount = (+(document.body.dataset.shownCount || 0) + 1);
}
// Replaces the shown frame by its exact result once the in-order play reaches it.
async function awaitExact(n) {
  if (exactWait) exactWait.abort();
  exactWait = new AbortController();
  try {
    const response = await fetch(`/frame/${n}.png?exact=1`, {signal: exactWait.signal});
    if (response.ok && n === frame && !playing && wanted === null) await display(response, n);
  } catch (e) { /* a newer frame was asked for */ }
}
function loadSource(n) {
  if ($('split-on').checked) $('source-image').src = `/frame/${n}.png?source=1`;
}
function refresh() { show(frame); }

// --- play, step, ranges
function play(on) {
  if (on === !!playing) return;
  if (on) {
    playing = setInterval(() => (frame + 1 < state.frame_count ? show(frame + 1) : play(false)), 1000 / state.rate);
  } else {
    clearInterval(playing);
    playing = null;
    refresh();
  }
  $('play').textContent = playing ? '❚❚' : '▶︎';
}
function rangeStarts() {
  return [...new Set(statements.map((s) => s.first).filter((f) => f >= 0 && f < state.frame_count))].sort((a, b) => a - b);
}
function jump(direction) {
  const starts = rangeStarts();
  const next = direction > 0 ? starts.find((f) => f > frame) : starts.reverse().find((f) => f < frame);
  if (next !== undefined) show(next);
}
document.addEventListener('keydown', (e) => {
  // A track bar or a field keeps its own keys; the scrubber's are the frame's anyway.
  if (e.target.matches('input, select') && e.target.id !== 'scrubber') return;
  const keys = {ArrowLeft: () => show(frame - 1), ArrowRight: () => show(frame + 1), ' ': () => play(!playing),
                '[': () => jump(-1), ']': () => jump(1)};
  if (keys[e.key]) {
    e.preventDefault();
    keys[e.key]();
  }
});

// --- track bars
function buildTracks() {
  const box = $('tracks');
  box.innerHTML = '';
  for (const t of state.tracks) {
    const row = document.createElement('label');
    row.className = 'track';
    const name = document.createElement('span');
    name.textContent = t.name;
    let input;
    if (t.index === DISPLAY_TRACK) {
      input = document.createElement('select');
      for (let b = t.min; b <= t.max; ++b) input.add(new Option(`buffer ${b}`, b));
    } else {
      input = document.createElement('input');
      Object.assign(input, {type: 'range', min: t.min, max: t.max, step: 1});
    }
    input.value = t.value;
    input.dataset.track = t.index;
    input.title = `${t.min}..${t.max}, default ${t.default} (double-click: default)`;
    const value = document.createElement('output');
    value.textContent = t.value;
    input.addEventListener('input', () => { value.textContent = input.value; sendTrack(t.index, +input.value); });
    input.addEventListener('dblclick', () => { input.value = t.default; input.dispatchEvent(new Event('input')); });
    row.append(name, input, value);
    box.append(row);
  }
}
let trackSending = false, trackPending = {};
async function sendTrack(index, value) {
  trackPending[index] = value;
  if (trackSending) return;
  trackSending = true;
  try {
    while (Object.keys(trackPending).length) {
      const body = trackPending;
      trackPending = {};
      try {
        state = await json('/api/tracks', {method: 'POST', body: JSON.stringify(body)});
      } catch (e) { $('progress').textContent = e.message; }
      refresh();
      if (selectedLine) drawCurves(selectedLine);
    }
  } finally { trackSending = false; }
}
function syncTracks(values) {
  for (const input of document.querySelectorAll('[data-track]')) {
    const v = values[+input.dataset.track];
    if (+input.value !== v && !trackSending) { input.value = v; input.nextSibling.textContent = v; }
  }
}

// --- script, diagnostics, curves
async function loadScript() {
  const script = await json('/api/script');
  statements = script.statements;
  const list = $('script');
  list.innerHTML = '';
  script.text.split('\n').forEach((text, i) => {
    const li = document.createElement('li');
    li.textContent = text.replace(/\r$/, '') || ' ';
    li.dataset.line = i + 1;
    li.addEventListener('click', () => selectLine(i + 1));
    list.append(li);
  });
  document.body.dataset.scriptVersion = script.version;
  markRunningLines();
  const diagnostics = await json('/api/check');
  $('diagnostic-count').textContent = `(${diagnostics.length})`;
  const box = $('diagnostics');
  box.innerHTML = '';
  for (const d of diagnostics) {
    const li = document.createElement('li');
    li.className = `diagnostic ${d.severity}`;
    li.textContent = `${d.line}:${d.column}: ${d.severity}: ${d.message}`;
    li.dataset.line = d.line;
    li.addEventListener('click', () => selectLine(d.line));
    box.append(li);
    // The note on keeping state is no fault of the line.
    if (d.severity !== 'note') list.querySelector(`li[data-line="${d.line}"]`)?.classList.add('flagged');
  }
  if (selectedLine) selectLine(selectedLine, false);
}
function markRunningLines() {
  const running = new Set(statements.filter((s) => s.first <= frame && frame <= s.last).map((s) => s.line));
  for (const li of $('script').children) li.classList.toggle('ran', running.has(+li.dataset.line));
}
function selectLine(line, scroll = true) {
  selectedLine = line;
  for (const li of $('script').children) li.classList.toggle('selected', +li.dataset.line === line);
  const li = $('script').querySelector(`li[data-line="${line}"]`);
  if (li && scroll) li.scrollIntoView({block: 'center'});
  drawCurves(line);
}
const COLOURS = ['#64b5f6', '#81c784', '#ffb74d', '#e57373', '#ba68c8', '#4dd0e1', '#fff176', '#a1887f'];
async function drawCurves(line) {
  const box = $('curves');
  const last = Math.min(state.frame_count - 1, 4999);
  try {
    curve = await json(`/api/curves?line=${line}&from=0&to=${last}`);
  } catch (e) {
    curve = null;
    box.innerHTML = `<p class="hint">Line ${line}: ${e.message}</p>`;
    return;
  }
  box.innerHTML = '';
  const NS = 'http://www.w3.org/2000/svg';
  curve.arguments.forEach((argument, k) => {
    const numbers = argument.values.filter((v) => v !== null);
    const low = Math.min(...numbers), high = Math.max(...numbers);
    const span = high - low || 1;
    const div = document.createElement('div');
    div.className = 'curve';
    const label = document.createElement('div');
    label.className = 'label';
    const named = argument.name ? `${k + 1} ${argument.name}` : `argument ${k + 1}`;
    label.textContent = numbers.length
      ? `${curve.command}  ${named}: ${argument.formula}   [${+low.toPrecision(6)} .. ${+high.toPrecision(6)}]`
      : `${curve.command}  ${named}: ${argument.formula}   (never evaluated here)`;
    const svg = document.createElementNS(NS, 'svg');
    const width = Math.max(1, curve.to - curve.from);
    svg.setAttribute('viewBox', `0 0 ${width} 100`);
    svg.setAttribute('preserveAspectRatio', 'none');
    // Runs of frames where the line ran, each its own polyline.
    let points = [];
    const flush = () => {
      if (!points.length) return;
      const p = document.createElementNS(NS, 'polyline');
      p.setAttribute('points', points.join(' '));
      p.setAttribute('stroke', COLOURS[k % COLOURS.length]);
      svg.append(p);
      points = [];
    };
    argument.values.forEach((v, i) => {
      if (v === null) return flush();
      points.push(`${i},${(95 - 90 * (v - low) / span).toFixed(2)}`);
    });
    flush();
    const now = document.createElementNS(NS, 'line');
    now.setAttribute('class', 'now');
    now.setAttribute('y1', 0);
    now.setAttribute('y2', 100);
    svg.append(now);
    svg.addEventListener('click', (e) => {
      const box = svg.getBoundingClientRect();
      show(curve.from + Math.round((e.clientX - box.left) / box.width * width));
    });
    div.append(label, svg);
    box.append(div);
  });
  drawNow();
}
function drawNow() {
  if (!curve) return;
  for (const line of document.querySelectorAll('#curves line.now')) {
    line.setAttribute('x1', frame - curve.from);
    line.setAttribute('x2', frame - curve.from);
  }
}

// --- before/after
$('split-on').addEventListener('change', () => {
  $('split').disabled = !$('split-on').checked;
  $('stage').classList.toggle('split', $('split-on').checked);
  setSplit();
  loadSource(frame);
});
function setSplit() {
  const right = $('split-on').checked ? 100 - $('split').value : 0;
  $('result-clip').style.clipPath = `inset(0 ${right}% 0 0)`;
  $('split-line').style.left = `${100 - right}%`;
}
$('split').addEventListener('input', setSplit);

// --- sound
async function soundOf(first, last) {
  const response = await fetch(`/sound/${first}.wav?to=${last}`);
  if (!response.ok) throw new Error((await response.json()).error);
  const context = new AudioContext();
  return {context, buffer: await context.decodeAudioData(await response.arrayBuffer())};
}
async function drawWaveform() {
  if (!state.has_sound) return;
  try {
    const {buffer} = await soundOf(frame, frame);
    const canvas = $('waveform'), g = canvas.getContext('2d');
    g.clearRect(0, 0, canvas.width, canvas.height);
    g.strokeStyle = '#81c784';
    const samples = buffer.getChannelData(0), mid = canvas.height / 2;
    g.beginPath();
    for (let x = 0; x < canvas.width; ++x) {
      const v = samples[Math.floor(x / canvas.width * samples.length)] || 0;
      g.lineTo(x, mid - v * mid);
    }
    g.stroke();
  } catch (e) { $('sound-note').textContent = e.message; }
}
$('sound-play').addEventListener('click', async () => {
  const first = +$('sound-from').value, last = Math.max(first, +$('sound-to').value);
  try {
    const {context, buffer} = await soundOf(first, last);
    const source = context.createBufferSource();
    source.buffer = buffer;
    source.connect(context.destination);
    show(first);
    source.start();
    play(true);
    source.onended = () => play(false);
  } catch (e) { $('sound-note').textContent = e.message; }
});

// --- events from the server
function listen() {
  const events = new EventSource('/api/events');
  events.onmessage = async (message) => {
    const event = JSON.parse(message.data);
    if (event.type === 'script') {
      state.script_version = event.version;
      state.frame_count = event.frame_count;  // a range may lengthen the edit
      $('scrubber').max = state.frame_count - 1;
      $('stateless').classList.toggle('hidden', !event.stateless);
      await loadScript();
      refresh();
    } else if (event.type === 'tracks') {
      syncTracks(event.values);
      $('stateless').classList.toggle('hidden', !event.stateless);
    } else if (event.type === 'exact') {
      $('progress').textContent = event.frame < event.target ? `making exact: ${event.frame} / ${event.target}` : '';
    } else if (event.type === 'error') {
      $('progress').textContent = event.message;
    }
  };
}

async function start() {
  state = await json('/api/state');
  $('script-path').textContent = state.script_path;
  $('stateless').classList.toggle('hidden', !state.stateless);
  $('scrubber').max = state.frame_count - 1;
  $('sound-to').value = Math.min(state.frame_count - 1, Math.round(state.rate * 2));
  $('sound').classList.toggle('hidden', !state.has_sound);
  $('scrubber').addEventListener('input', () => show(+$('scrubber').value));
  $('step-back').addEventListener('click', () => show(frame - 1));
  $('step-forward').addEventListener('click', () => show(frame + 1));
  $('play').addEventListener('click', () => play(!playing));
  buildTracks();
  listen();
  await loadScript();
  show(0);
}
start();
