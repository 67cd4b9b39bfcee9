// The supervisor's page: the numbers from /api/summary, polled every two seconds; the last data
// stay on the page, marked, while the server is away.

#include "ringlist/serve/site.h"

namespace ringlist {

const char* const PAGE_HTML = R"(<!DOCTYPE html>
<html lang="ru"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Прозвонка: ход</title>
<style>
body{font-family:sans-serif;margin:1em;max-width:70em}
h1{font-size:1.4em}h2{font-size:1.15em;word-break:break-all}
section{border:1px solid #bbb;border-radius:6px;padding:.5em 1em;margin:1em 0}
dl{display:grid;grid-template-columns:max-content max-content;gap:.2em 1em}dd{margin:0;text-align:right}
.bar{background:#ddd;height:1.2em;border-radius:3px;overflow:hidden;max-width:30em}
.bar div{background:#2e7d32;height:100%}
.bad{color:#c62828;font-weight:bold}.note{color:#555}
table{border-collapse:collapse;margin:.5em 0}td,th{border:1px solid #bbb;padding:2px 8px}
.chart,.wide{overflow-x:auto;max-width:100%}
.old section{opacity:.6}
@media (max-width:30em){body{margin:.5em}section{padding:.5em}td,th{padding:2px 4px}}
</style></head><body>
<h1>Прозвонка: ход</h1>
<p id="note" class="note">Загрузка...</p>
<div id="folders"></div>
<script src="/app.js"></script>
</body></html>
)";

const char* const PAGE_SCRIPT = R"(
'use strict';
const folders = document.getElementById('folders');
const note = document.getElementById('note');
let shownAt = null;

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = String(text);
  return e;
}

const STATES = {idle: 'ожидание', running: 'работает', paused: 'пауза', reconnecting: 'восстановление связи', ended: 'завершена'};

function when(iso) {
  return iso ? new Date(iso).toLocaleString('ru-RU') : '';
}

function clock(iso) {
  return iso ? new Date(iso).toLocaleTimeString('ru-RU', {hour: '2-digit', minute: '2-digit'}) : '';
}

// A table in a box of its own width: a narrow screen scrolls the table, not the page.
function wide(table) {
  const w = el('div', 'wide');
  w.append(table);
  return w;
}

function statusPart(program, s) {
  const p = el('div', 'status');
  // A run that ended says so for good: its file stops changing, which is not a lost program.
  if (s.stale && s.state !== 'ended') {
    p.append(el('p', 'bad', program + ': нет связи с программой'));
  }
  if (s.unreadable) {
    p.append(el('p', 'bad', program + ': файл состояния не читается: ' + s.unreadable));
    return p;
  }
  let text = program + ': ' + (STATES[s.state] || s.state);
  if (s.state === 'ended' && s.updated) text += ' в ' + clock(s.updated);
  if (s.state === 'paused') text += ' до ' + when(s.until);
  if (s.state === 'reconnecting') text += ' с ' + when(s.since);
  p.append(el('p', 'state', text));
  if (s.reason) p.append(el('p', 'reason', 'Причина: ' + s.reason));
  if (Array.isArray(s.channels) && s.channels.length) {
    const t = el('table');
    const head = el('tr');
    ['Канал', 'Режим', 'Линия', 'Последний ответ'].forEach(h => head.append(el('th', '', h)));
    t.append(head);
    for (const c of s.channels) {
      const r = el('tr');
      r.append(el('td', '', 'K' + c.channel), el('td', '', c.mode), el('td', '', c.line ? 'да' : 'нет'), el('td', '', when(c.last_reply)));
      t.append(r);
    }
    p.append(wide(t));
  }
  return p;
}

function folderPart(f) {
  const s = el('section', 'folder');
  s.append(el('h2', '', f.name));
  if (f.responding === false) {
    s.append(el('p', 'bad', 'папка не отвечает'));
    if (!f.error) s.append(el('p', 'note', 'Показаны данные последнего чтения'));
  }
  if (f.error) {
    s.append(el('p', 'bad', f.error));
    return s;
  }
  const dl = el('dl');
  const rows = [['Записей', 'records'], ['Оповещены', 'notified'], ['Не оповещены', 'not_notified'],
                ['Исключены', 'excluded'], ['Розданы частям', 'dealt'], ['Осталось', 'left'],
                ['Звонков за час', 'calls_last_hour']];
  for (const [caption, key] of rows) {
    const dd = el('dd', '', f[key]);
    dd.dataset.count = key;
    dl.append(el('dt', '', caption), dd);
  }
  s.append(dl);
  const done = el('p', 'percent', 'Готово: ' + f.percent + '%');
  done.dataset.count = 'percent';
  const bar = el('div', 'bar');
  const fill = el('div');
  fill.style.width = Math.max(0, Math.min(100, f.percent)) + '%';
  bar.append(fill);
  s.append(done, bar);
  const sums = el('table');
  const head = el('tr');
  ['Отметка', 'Записей', 'Сумма'].forEach(h => head.append(el('th', '', h)));
  sums.append(head);
  const marks = {uncalled: 'не звонили', Y: 'Y оповещены', Z: 'Z не оповещены', N: 'N не оповещены', S: 'S розданы', X: 'X исключены', other: 'прочие'};
  for (const k of Object.keys(marks)) {
    if (f.marks.records[k] || k === 'uncalled' || k === 'Y') {
      const r = el('tr');
      r.append(el('td', '', marks[k]), el('td', '', f.marks.records[k]), el('td', '', f.marks.amounts[k]));
      sums.append(r);
    }
  }
  s.append(wide(sums));
  if (f.problems) s.append(el('p', 'bad', 'Испорченных строк в файлах: ' + f.problems + ' (ringlist report)'));
  for (const w of f.warnings || []) s.append(el('p', 'bad', w));
  if (f.status) {
    for (const program of Object.keys(f.status)) s.append(statusPart(program, f.status[program]));
  } else {
    s.append(el('p', 'note', 'Файла состояния нет: по списку и журналам'));
  }
  for (const [caption, key] of [['По дням и часам', 'timeline'], ['По часам суток', 'profile']]) {
    s.append(el('h3', '', caption));
    const c = el('div', 'chart');
    c.innerHTML = f.charts[key];  // drawn by the server, its text escaped there
    s.append(c);
  }
  return s;
}

async function poll() {
  // A poll that does not come back in time is a lost link too: the page says so.
  const abort = new AbortController();
  const timer = setTimeout(() => abort.abort(), 8000);
  try {
    const r = await fetch('/api/summary', {cache: 'no-store', credentials: 'same-origin', signal: abort.signal});
    if (!r.ok) throw new Error('HTTP ' + r.status);
    const data = await r.json();
    folders.replaceChildren(...data.folders.map(folderPart));
    shownAt = new Date();
    document.body.dataset.polls = String(Number(document.body.dataset.polls || 0) + 1);
    note.textContent = 'Обновлено в ' + shownAt.toLocaleTimeString('ru-RU');
    note.className = 'note';
    folders.className = '';
  } catch (e) {
    note.textContent = 'Нет связи с сервером' + (shownAt ? ': показаны данные на ' + shownAt.toLocaleTimeString('ru-RU') : '');
    note.className = 'bad';
    folders.className = 'old';
  }
  clearTimeout(timer);
  setTimeout(poll, 2000);
}
poll();
)";

}  // namespace ringlist
