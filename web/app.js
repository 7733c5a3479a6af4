// The page: a problem held as the text of a deck or a study file, analysed by
// the library (compiled to WebAssembly) on every change, with a form that
// edits the same problem as a study file. The page's whole state (the text,
// its name, the view and the front's options) lives in the address's
// fragment, so that a link reproduces the analysis and the back button undoes.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const maxFileBytes = 1024 * 1024;  // as the program: larger than any study file needs to be
  const examples = JSON.parse($('examples').textContent);
  // What each bundled example is, for the list (others show their file name).
  const exampleTitles = {
    'worked.deck': 'the worked example: two predictors, one criterion',
    'worked-majority.deck': 'the worked example per majority-group selection ratio',
    'battery.deck': 'five predictors, published meta-analytic values (De Corte, Sackett & Lievens, 2011)',
    'pareto.deck': 'four predictors for the front (De Corte, Lievens & Sackett, 2007)',
    'groups.toml': 'four groups in one pool',
    'stages.toml': 'three groups through three stages',
  };

  let engine = null;  // the library's entry points
  const state = { text: '', name: '', view: 'study', sr: '', points: '21', free: false, target: '', sample: '' };
  let model = null;   // the form's problem; null when the text cannot be read as one
  let answer = null;  // the last analysis: the library's answer, parsed
  let editing = false;  // an address entry has been added for the edit under way
  let loadedHash = null;
  const timings = { firstStudyMs: null, lastUpdateMs: null };
  window.fourfifthsTimings = timings;

  // ---------- the address ----------

  function toBase64Url(text) {
    const bytes = new TextEncoder().encode(text);
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000)
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
  }

  function fromBase64Url(text) {
    const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return new TextDecoder('utf-8', { fatal: true }).decode(bytes);
  }

  function fragment() {
    const p = new URLSearchParams();
    p.set('n', state.name);
    p.set('v', state.view);
    if (state.sr !== '') p.set('sr', state.sr);
    if (state.points !== '21') p.set('p', state.points);
    if (state.free) p.set('f', '1');
    if (state.target !== '') p.set('tg', state.target);
    if (state.sample !== '') p.set('ss', state.sample);
    p.set('t', toBase64Url(state.text));
    return '#' + p.toString();
  }

  // The state a fragment holds, or null when it holds none that can be read.
  function stateOf(hash) {
    if (!hash || hash.length < 2) return null;
    const p = new URLSearchParams(hash.slice(1));
    if (!p.has('t')) return null;
    let text;
    try {
      text = fromBase64Url(p.get('t'));
    } catch (e) {
      return null;
    }
    return {
      text, name: p.get('n') || 'shared problem', view: p.get('v') === 'front' ? 'front' : 'study',
      sr: p.get('sr') || '', points: p.get('p') || '21', free: p.get('f') === '1', target: p.get('tg') || '', sample: p.get('ss') || '',
    };
  }

  // Records the state in the address: a new entry (which the back button
  // leaves) or, while an edit goes on, in the entry that edit added.
  function record(push) {
    const hash = fragment();
    if (hash === location.hash) return;
    loadedHash = hash;
    if (push) history.pushState(null, '', hash);
    else history.replaceState(null, '', hash);
  }

  // ---------- numbers and names as typed ----------

  // A field's text as a study file holds it: a number when it is one, else
  // the text itself, which the library then names as not a number.
  function number(text) {
    const t = String(text).trim();
    return /^-?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(t) ? Number(t) : t;
  }

  function shown(value) {
    return value === undefined || value === null ? '' : String(value);
  }

  // ---------- the form's problem and the study file ----------

  function modelOf(file) {
    const predictors = (file.predictors || []).slice();
    const criteria = (file.criteria || []).slice();
    const names = predictors.concat(criteria);
    const n = names.length;
    const corr = [];
    for (let i = 0; i < n; ++i) {
      corr.push([]);
      // The library writes the lower triangle, row by row.
      for (let j = 0; j <= i; ++j) {
        const row = (file.correlations || [])[i] || [];
        corr[i].push(shown(row[j]));
      }
    }
    const weights = file.weights || {};
    let mode = 'given';
    if (weights.predictors === 'regression') mode = 'regression';
    else if (weights.predictors === 'front') mode = 'front';
    const given = typeof weights.predictors === 'object' ? weights.predictors : {};
    const selection = file.selection || {};
    return {
      predictors, criteria, corr, mode,
      pw: predictors.map((name) => shown(given[name])),
      cw: criteria.map((name) => shown((weights.criteria || {})[name])),
      basis: selection.basis || 'overall', pool: selection.pool || 'joint',
      quality: selection.quality || 'criterion',
      ratios: (selection.ratios || []).join(', '), sweep: selection.sweep || '',
      minimum: selection.minimum,
      groups: (file.groups || []).map((g) => ({
        name: shown(g.name), share: shown(g.share), hasEffects: g.effects !== undefined,
        effects: names.map((name) => shown((g.effects || {})[name])),
      })),
      stages: file.stages,
    };
  }

  function studyFileOf(m) {
    const names = m.predictors.concat(m.criteria);
    const file = { predictors: m.predictors.slice(), criteria: m.criteria.slice() };
    file.correlations = m.corr.map((row) => row.map(number));
    const weights = {};
    if (m.mode !== 'given') weights.predictors = m.mode;
    else if (!(m.stages && m.pw.every((w) => w.trim() === '')))
      weights.predictors = Object.fromEntries(m.predictors.map((name, i) => [name, number(m.pw[i])]));
    if (m.criteria.length)
      weights.criteria = Object.fromEntries(m.criteria.map((name, k) => [name, number(m.cw[k])]));
    file.weights = weights;
    const selection = { basis: m.basis, pool: m.pool, quality: m.quality };
    const ratios = m.ratios.split(',').map((r) => r.trim()).filter((r) => r !== '');
    if (ratios.length) selection.ratios = ratios.map(number);
    if (m.sweep.trim() !== '') selection.sweep = m.sweep.trim();
    if (m.minimum !== undefined) selection.minimum = m.minimum;
    file.selection = selection;
    file.groups = m.groups.map((g, index) => {
      const group = { name: g.name, share: number(g.share) };
      const effects = {};
      names.forEach((name, i) => {
        if (g.effects[i].trim() !== '') effects[name] = number(g.effects[i]);
      });
      if (index > 0 || Object.keys(effects).length) group.effects = effects;
      return group;
    });
    if (m.stages) file.stages = m.stages;
    return JSON.stringify(file, null, 2) + '\n';
  }

  // ---------- the form ----------

  function element(tag, attributes, text) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attributes || {})) {
      if (v !== undefined && v !== null && v !== false) e.setAttribute(k, v === true ? '' : v);
    }
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // An input of the form: path says where its value goes in the model, key
  // which of the study file's keys it edits (the library names keys so).
  function field(path, key, value, label, cls) {
    return element('input', {
      'data-path': path, 'data-key': key, value, 'aria-label': label, class: cls,
      spellcheck: 'false', autocomplete: 'off',
    });
  }

  function names() {
    return model.predictors.concat(model.criteria);
  }

  function renderForm() {
    const form = $('form');
    form.hidden = model === null;
    $('form-note').hidden = model !== null;
    if (model === null) {
      $('form-note').textContent = 'The form shows a problem once its text can be read: correct the text below.';
      $('text-details').open = true;
      return;
    }
    const all = names();
    const p = model.predictors.length;

    const variables = $('variables');
    variables.replaceChildren();
    all.forEach((name, i) => {
      const criterion = i >= p;
      const index = criterion ? i - p : i;
      const row = element('div', { class: 'variable' });
      const label = (criterion ? 'Criterion ' : 'Predictor ') + (index + 1);
      row.append(element('span', { class: 'kind' }, label));
      row.append(field(`name.${i}`, `${criterion ? 'criteria' : 'predictors'}[${index + 1}]`, name,
        label + ' name'));
      const remove = element('button', { type: 'button', 'data-remove-variable': i,
        'aria-label': 'Remove ' + label.toLowerCase() + ' (' + name + ')' }, 'Remove');
      if ((criterion ? model.criteria.length : p) <= (criterion ? 0 : 1)) remove.disabled = true;
      row.append(remove);
      variables.append(row);
    });

    const grid = $('grid');
    grid.replaceChildren();
    const head = element('tr');
    head.append(element('td'));
    all.forEach((name, j) => head.append(element('th', { scope: 'col', 'data-label-var': j }, name)));
    grid.appendChild(element('thead')).append(head);
    const body = grid.appendChild(element('tbody'));
    all.forEach((name, i) => {
      const tr = element('tr');
      tr.append(element('th', { scope: 'row', 'data-label-var': i }, name));
      for (let j = 0; j < all.length; ++j) {
        const td = element('td');
        if (j <= i) {
          td.append(field(`corr.${i}.${j}`, `correlations[${i + 1}][${j + 1}]`, model.corr[i][j],
            i === j ? `Correlation of ${name} with itself` : `Correlation of ${name} with ${all[j]}`));
        }
        tr.append(td);
      }
      body.append(tr);
    });

    for (const radio of document.querySelectorAll('input[name=weights]')) radio.checked = radio.value === model.mode;
    const weights = $('weights');
    weights.replaceChildren();
    const wrap = element('div', { class: 'fields' });
    if (model.mode === 'given') {
      model.predictors.forEach((name, i) => {
        const l = element('label', { 'data-label-var': i }, name + ' ');
        l.append(field(`pw.${i}`, `weights.predictors.${name}`, model.pw[i], `Weight of predictor ${name}`));
        wrap.append(l);
      });
    }
    model.criteria.forEach((name, k) => {
      const l = element('label', { 'data-label-var': p + k, 'data-label-suffix': ' (criterion) ' }, name + ' (criterion) ');
      l.append(field(`cw.${k}`, `weights.criteria.${name}`, model.cw[k], `Weight of criterion ${name}`));
      wrap.append(l);
    });
    weights.append(wrap);

    const groups = $('groups');
    groups.replaceChildren();
    const gh = element('tr');
    gh.append(element('th', { scope: 'col' }, 'Group'), element('th', { scope: 'col' }, 'Share'));
    all.forEach((name, j) => gh.append(element('th', { scope: 'col', 'data-label-var': j }, 'd ' + name)));
    groups.appendChild(element('thead')).append(gh);
    const gb = groups.appendChild(element('tbody'));
    model.groups.forEach((g, index) => {
      const tr = element('tr');
      const c1 = element('td');
      c1.append(field(`group.${index}.name`, `groups[${index + 1}].name`, g.name, `Name of group ${index + 1}`, 'name'));
      const c2 = element('td');
      c2.append(field(`group.${index}.share`, `groups[${index + 1}].share`, g.share, `Share of group ${g.name}`));
      tr.append(c1, c2);
      all.forEach((name, i) => {
        const td = element('td');
        if (index === 0 && !g.hasEffects) td.append(element('span', { class: 'hint' }, 'reference'));
        else td.append(field(`effect.${index}.${i}`, `groups[${index + 1}].effects.${name}`, g.effects[i],
          `Effect size of ${name} in group ${g.name}, against the reference group`));
        tr.append(td);
      });
      gb.append(tr);
    });
    $('remove-group').disabled = model.groups.length <= 2;

    $('basis').value = model.basis;
    $('pool').value = model.pool;
    $('quality').value = model.quality;
    $('ratios').value = model.ratios;
    $('sweep').value = model.sweep;
    const stagesNote = $('stages-note');
    stagesNote.hidden = !model.stages;
    if (model.stages) {
      stagesNote.textContent = `This study selects in ${model.stages.length} stages (` +
        model.stages.map((s) => s.name).join(', ') + '): their weights and pass rules are edited in the text.';
    }
  }

  // The variable names shown beside the grid, the weights and the effects,
  // after a name was typed (the inputs themselves stay, keeping the focus).
  function relabel() {
    const all = names();
    for (const e of document.querySelectorAll('[data-label-var]')) {
      const i = Number(e.getAttribute('data-label-var'));
      const prefix = e.closest('#groups') ? 'd ' : '';
      if (e.tagName === 'LABEL') e.firstChild.textContent = all[i] + (e.getAttribute('data-label-suffix') || ' ');
      else e.textContent = prefix + all[i];
    }
  }

  // Sets the model's value at an input's path.
  function assign(path, value) {
    const [what, a, b] = path.split('.');
    const i = Number(a);
    if (what === 'name') {
      const p = model.predictors.length;
      const old = names()[i];
      if (i < p) model.predictors[i] = value;
      else model.criteria[i - p] = value;
      // Stages weigh predictors by name: a renamed predictor keeps its weights.
      for (const stage of model.stages || []) {
        if (stage.weights && old in stage.weights && !(value in stage.weights)) {
          stage.weights = Object.fromEntries(Object.entries(stage.weights).map(([k, v]) => [k === old ? value : k, v]));
        }
      }
      relabel();
    } else if (what === 'corr') model.corr[i][Number(b)] = value;
    else if (what === 'pw') model.pw[i] = value;
    else if (what === 'cw') model.cw[i] = value;
    else if (what === 'group') model.groups[i][b] = value;
    else if (what === 'effect') model.groups[i].effects[Number(b)] = value;
  }

  // The lower triangle of the correlations with a variable inserted at
  // position at (uncorrelated with the others) or the one at position drop
  // removed; each group's effect sizes likewise.
  function reshape(at, drop) {
    const n = model.corr.length;
    const value = (i, j) => (i >= j ? model.corr[i][j] : model.corr[j][i]);
    const order = [];  // the old position of each new variable, -1 for the new one
    for (let i = 0; i < n; ++i) {
      if (i === at) order.push(-1);
      if (i !== drop) order.push(i);
    }
    if (at === n) order.push(-1);
    model.corr = order.map((oi, i) => order.slice(0, i + 1).map((oj) => {
      if (oi < 0 || oj < 0) return oi === oj ? '1' : '0';
      return value(oi, oj);
    }));
    model.groups.forEach((g, index) => {
      g.effects = order.map((o) => (o >= 0 ? g.effects[o] : index === 0 && !g.hasEffects ? '' : '0'));
    });
  }

  function freshName(prefix) {
    const taken = new Set(names());
    let k = 1;
    while (taken.has(prefix + k)) ++k;
    return prefix + k;
  }

  function addPredictor() {
    const p = model.predictors.length;
    reshape(p, -1);
    model.predictors.push(freshName('P'));
    model.pw.push('1');
  }

  function addCriterion() {
    reshape(model.corr.length, -1);
    model.criteria.push(freshName('C'));
    model.cw.push('1');
  }

  function removeVariable(i) {
    reshape(-1, i);
    const p = model.predictors.length;
    if (i < p) {
      model.predictors.splice(i, 1);
      model.pw.splice(i, 1);
    } else {
      model.criteria.splice(i - p, 1);
      model.cw.splice(i - p, 1);
    }
  }

  // A matrix pasted from a spreadsheet: rows of cells separated by tabs,
  // commas or semicolons; the full matrix or its lower triangle; names in a
  // first row (and maybe a first column) when they are not numbers.
  function parseMatrix(text) {
    let rows = text.split(/\r?\n/).map((line) => line.trim()).filter((line) => line !== '')
      .map((line) => line.split(/\t|;|,/).map((cell) => cell.trim()));
    if (!rows.length) throw new Error('nothing pasted');
    const isNumber = (c) => typeof number(c) === 'number';
    let header = null;
    if (!rows[0].some(isNumber)) {
      header = rows[0].filter((c) => c !== '');
      rows = rows.slice(1);
    }
    if (rows.length && rows.every((r) => r.length && !isNumber(r[0]))) {
      const rowNames = rows.map((r) => r[0]);
      rows = rows.map((r) => r.slice(1));
      if (!header) header = rowNames;
    }
    const n = rows.length;
    if (n < 2) throw new Error('a matrix of at least two variables is needed, one row each');
    // The first row tells a full matrix (n values) from a lower triangle (one).
    const full = rows[0].length === n;
    const bad = rows.findIndex((r, i) => r.length !== (full ? n : i + 1));
    if (bad >= 0) {
      throw new Error(`row ${bad + 1} has ${rows[bad].length} values: ` +
        (full ? `a full matrix of ${n} rows has ${n} in every row` : `row ${bad + 1} of a lower triangle has ${bad + 1}`));
    }
    if (header && header.length !== n)
      throw new Error(`${header.length} names for ${n} rows of values`);
    return { names: header, corr: rows.map((r, i) => r.slice(0, i + 1)) };
  }

  function usePaste() {
    const error = $('error-paste');
    let pasted;
    try {
      pasted = parseMatrix($('paste').value);
    } catch (e) {
      error.textContent = 'The pasted matrix: ' + e.message;
      error.hidden = false;
      return;
    }
    error.hidden = true;
    const n = pasted.corr.length;
    // The criteria stay criteria as far as the new matrix has room for them.
    const criteria = Math.min(model.criteria.length, n - 1);
    const all = pasted.names || names().slice(0, n);
    while (all.length < n) all.push(null);
    const p = n - criteria;
    const fill = (list, prefix, count) => {
      const out = [];
      for (let k = 0; k < count; ++k) out.push(list[k] || prefix + (k + 1));
      return out;
    };
    // Weights and effect sizes follow their variable's name; a new name
    // starts with weight 1 and no group difference.
    const before = Object.fromEntries(names().map((name, i) => [name, i]));
    const oldPw = model.pw, oldCw = model.cw, p0 = model.predictors.length;
    model.predictors = fill(all.slice(0, p), 'P', p);
    model.criteria = fill(all.slice(p), 'C', criteria);
    const weightOf = (name) => {
      const i = before[name];
      return i === undefined ? '1' : i < p0 ? oldPw[i] : oldCw[i - p0];
    };
    model.pw = model.predictors.map(weightOf);
    model.cw = model.criteria.map(weightOf);
    model.corr = pasted.corr;
    model.groups.forEach((g, index) => {
      g.effects = names().map((name) => (before[name] !== undefined ? g.effects[before[name]]
        : index === 0 && !g.hasEffects ? '' : '0'));
    });
    renderForm();
    fromForm(true);
  }

  // ---------- faults beside their fields ----------

  function clearFaults() {
    for (const e of document.querySelectorAll('[aria-invalid=true]')) {
      e.removeAttribute('aria-invalid');
      e.removeAttribute('aria-describedby');
    }
    for (const e of document.querySelectorAll('p.error')) {
      if (e.id !== 'error-paste') {
        e.hidden = true;
        e.textContent = '';
      }
    }
    $('messages').hidden = true;
    $('messages').replaceChildren();
  }

  // The form's input that a key of the library's message names: the key
  // itself, else the nearest key it lies in ("groups[2].effects" for
  // "groups[2].effects.x").
  function inputOf(key) {
    let k = key;
    while (k) {
      const e = document.querySelector(`#form [data-key="${CSS.escape(k)}"], #results [data-key="${CSS.escape(k)}"]`);
      if (e && !e.closest('[hidden]')) return e;
      const cut = Math.max(k.lastIndexOf('.'), k.lastIndexOf('['));
      k = cut > 0 ? k.slice(0, cut) : '';
    }
    return null;
  }

  // The key of a message of the analysis that names a correlation.
  function keyOf(message) {
    const m = /Correlation \((\d+), (\d+)\)/.exec(message);
    if (m) {
      const [a, b] = [Number(m[1]), Number(m[2])];
      return `correlations[${Math.max(a, b)}][${Math.min(a, b)}]`;
    }
    if (/correlation matrix/i.test(message)) return 'correlations';
    return '';
  }

  function showFaults(messages, fault) {
    const box = $('messages');
    box.replaceChildren(element('p', {}, 'Nothing is computed until this is corrected:'));
    for (const m of messages) box.append(element('p', {}, m));
    box.hidden = false;
    messages.forEach((message, index) => {
      const key = keyOf(message) || (index === 0 && fault && fault.key) || '';
      const input = !$('form').hidden && key ? inputOf(key) : null;
      let where;
      if (input) {
        const fieldset = input.closest('fieldset') || input.closest('#front-options');
        where = fieldset.querySelector('p.error');
        if (input.matches('input, select, textarea')) {
          input.setAttribute('aria-invalid', 'true');
          input.setAttribute('aria-describedby', where.id);
        }
      } else {
        where = $('error-text');
        $('text').setAttribute('aria-invalid', 'true');
      }
      where.textContent = (where.textContent ? where.textContent + '\n' : '') + message;
      where.hidden = false;
    });
  }

  // ---------- results ----------

  // Below four fifths by more than the rounding of the boundary's own ratio.
  function fails(ai) {
    return ai !== null && ai !== undefined && ai < 0.8 - 1e-9;
  }

  function fmt(value, decimals = 3) {
    return value === null || value === undefined ? '–' : Number(value).toFixed(decimals);
  }

  function cell(value, decimals, fails, below = 'below four fifths') {
    const td = element('td', { 'data-value': value === null || value === undefined ? '' : String(value) }, fmt(value, decimals));
    if (fails) {
      td.classList.add('fails');
      td.append(element('span', { class: 'skip' }, ` (${below})`));
    }
    return td;
  }

  // A table of results under its heading (outside the table, so that the
  // heading wraps on a narrow screen while the table scrolls).
  function table(caption, headers, rows, name) {
    const t = element('table', { class: 'results', 'data-table': name, 'aria-labelledby': 'table-' + name });
    const tr = element('tr');
    for (const h of headers) tr.append(element('th', { scope: 'col' }, h));
    t.appendChild(element('thead')).append(tr);
    const body = t.appendChild(element('tbody'));
    for (const r of rows) body.append(r);
    const wrap = element('div', { class: 'scroll' });
    wrap.append(t);
    const part = element('div');
    part.append(element('h3', { id: 'table-' + name }, caption), wrap);
    return part;
  }

  function summary(items) {
    const s = element('div', { class: 'summary' });
    for (const [label, value] of items) s.append(element('div', {}, `${label}: ${value}`));
    return s;
  }

  function rowHead(text) {
    return element('th', { scope: 'row' }, text);
  }

  function renderStudy(r) {
    const b = r.boundary;
    $('summary').replaceChildren(summary([
      ['Validity of the composite (r)', fmt(r.composites.rxy)],
      ['Effect size of the predictor composite (d)', fmt(r.composites.dx)],
      ['of the criterion composite', fmt(r.composites.dy)],
      ['Weights', r.weights.map((w) => fmt(w)).join(', ')],
      ['Four-fifths rule met from SR', b.found ? fmt(b.sr) : 'nowhere in range'],
    ]));
    const rows = r.rows.map((row) => {
      const tr = element('tr', { 'data-kind': row.kind });
      tr.append(rowHead(row.kind), cell(row.sr), cell(row.cutoff), cell(row.sra), cell(row.sri),
        cell(row.ai, 3, fails(row.ai)), cell(row.m), cell(row.ma), cell(row.mi), cell(row.dif));
      return tr;
    });
    $('tables').replaceChildren(table('Rows of selection ratios (AI below 0.8 marked)',
      ['Row', 'SR', 'Cut-off', 'SR majority', 'SR minority', 'AI', 'Quality', 'majority', 'minority', 'difference'],
      rows, 'rows'));
  }

  function renderGroups(r) {
    const groups = r.problem.groups.map((g) => g.name);
    const pb = r.pool_boundary;
    $('summary').replaceChildren(summary([
      ['Validity of the composite (r)', fmt(r.composites.rxy)],
      ['Weights', r.weights.map((w) => fmt(w)).join(', ')],
      ['Every group meets the four-fifths rule from SR', pb && pb.sr !== null ? fmt(pb.sr) : 'nowhere in range'],
    ]));
    const boundaries = r.boundaries.map((b) => {
      const tr = element('tr');
      tr.append(rowHead(b.group), element('td', { class: 'text' }, b.state), element('td', { class: 'text' }, b.against || '–'),
        cell(b.sr), cell(b.cutoff));
      return tr;
    });
    const headers = ['Row', 'SR', 'Quality'];
    for (const g of groups) headers.push(`SR ${g}`, `AI ${g}`);
    headers.push('All meet');
    const rows = r.rows.map((row) => {
      const tr = element('tr', { 'data-kind': row.kind });
      tr.append(rowHead(row.kind), cell(row.sr), cell(row.quality));
      row.groups.forEach((g) => tr.append(cell(g.sr), cell(g.ai, 3, g.status === 'ok' && !g.meets)));
      tr.append(element('td', { class: 'text' }, row.all_meet ? 'yes' : 'no'));
      return tr;
    });
    $('tables').replaceChildren(
      table('Where each group meets the four-fifths rule', ['Group', 'State', 'Against', 'SR', 'Cut-off'], boundaries, 'boundaries'),
      table('Rows of selection ratios (AI against the reference group; below four fifths of the highest marked)',
        headers, rows, 'rows'));
  }

  function renderStaged(r) {
    const groups = r.problem.groups.map((g) => g.name);
    $('summary').replaceChildren(summary([
      ['Selected overall', fmt(r.staged.stages[r.staged.stages.length - 1].still_in)],
      ['Mean quality of all selected', fmt(r.staged.all_quality)],
      ['in one stage', fmt(r.single.all_quality)],
    ]));
    const design = (d, caption, name) => {
      const headers = ['Stage', 'Cut-off', 'Pass', 'Still in'];
      for (const g of groups) headers.push(`Still in ${g}`, `AI ${g}`);
      const rows = d.stages.map((s) => {
        const tr = element('tr');
        tr.append(rowHead(s.name), cell(s.cutoff), cell(s.pass), cell(s.still_in));
        s.groups.forEach((g) => tr.append(cell(g.still_in), cell(g.ai_cumulative, 3, fails(g.ai_cumulative_highest))));
        return tr;
      });
      return table(caption, headers, rows, name);
    };
    $('tables').replaceChildren(design(r.staged, 'The stages (AI of those still in; below four fifths of the highest marked)', 'stages'),
      design(r.single, 'The same selection in one stage, on the last stage\'s composite', 'single'));
  }

  function renderFront(r) {
    const predictorNames = model ? model.predictors : [];
    const facts = [['Selection ratio', fmt(r.sr)], ['Weights', r.nonnegative ? 'not negative' : 'free']];
    if (r.sample_size) facts.push(['Validation sample', String(r.sample_size)], ['Predictors screened', String(r.predictors_screened)]);
    $('summary').replaceChildren(summary(facts));
    for (const note of r.notes) $('summary').append(element('p', { class: 'note' }, note));
    const headers = ['Point', 'AI', 'Validity', 'Composite d', 'Cut-off', 'SR majority', 'SR minority', 'Quality'];
    // Fitted in a sample: each point's validity and AI expected on new applicants.
    if (r.sample_size) headers.push('Validity on new applicants', 'AI on new applicants');
    const count = r.points.length ? r.points[0].weights.length : 0;
    for (let i = 0; i < count; ++i) headers.push('Weight ' + (predictorNames[i] || 'P' + (i + 1)));
    const rows = r.points.map((p) => {
      const tr = element('tr', { 'data-kind': p.kind });
      tr.append(rowHead(p.kind), cell(p.ai, 3, fails(p.ai)), cell(p.validity), cell(p.composite_d), cell(p.cutoff),
        cell(p.sra), cell(p.sri), cell(p.quality));
      if (r.sample_size) tr.append(cell(p.shrunk_validity), cell(p.shrunk_ai, 3, fails(p.shrunk_ai)));
      for (const w of p.weights) tr.append(cell(w));
      return tr;
    });
    $('tables').replaceChildren(table('Points of the front, from the most valid to the least adverse impact', headers, rows, 'front'));
  }

  // The front of three or more groups: validity against the smallest AI over
  // the groups, headed by the most valid weighting that gives every group at
  // least the target, or by the group that keeps the best from it.
  function renderGroupFront(r) {
    const groups = r.problem.groups.slice(1);
    $('summary').replaceChildren(element('p', { class: 'headline' }, r.headline.words),
      summary([['Selection ratio', fmt(r.sr)], ['Target AI', fmt(r.target)], ['Weights', r.nonnegative ? 'not negative' : 'free']]));
    for (const note of r.notes) $('summary').append(element('p', { class: 'note' }, note));
    const headers = ['Point', 'Smallest AI', 'Validity', 'Binding'];
    for (const g of groups) headers.push(`AI ${g}`);
    for (const p of r.problem.predictors) headers.push(`Weight ${p}`);
    const rows = r.points.map((p) => {
      const tr = element('tr', { 'data-kind': p.kind || 'point' });
      tr.append(rowHead(p.kind || 'point'), cell(p.min_ai, 3, p.min_ai < r.target, 'below the target'), cell(p.validity),
        element('td', { class: 'text' }, p.binding.join(', ') || '–'));
      for (const g of p.groups.slice(1)) tr.append(cell(g.ai, 3, g.ai < r.target, 'below the target'));
      for (const name of r.problem.predictors) tr.append(cell(p.weights[name]));
      return tr;
    });
    $('tables').replaceChildren(table('Points of the front, from the most valid to the largest smallest AI (below the target marked)',
      headers, rows, 'front'));
  }

  // The library's chart, inserted as SVG (parsed as XML, never as HTML).
  function renderChart(svg) {
    const figure = $('chart-figure');
    const doc = new DOMParser().parseFromString(svg, 'image/svg+xml');
    const root = doc.documentElement;
    if (root.nodeName !== 'svg') {
      figure.hidden = true;
      return;
    }
    $('chart').replaceChildren(document.importNode(root, true));
    figure.hidden = false;
  }

  function clearResults() {
    $('summary').replaceChildren();
    $('tables').replaceChildren();
    $('chart').replaceChildren();
    $('chart-figure').hidden = true;
  }

  // ---------- the analysis ----------

  function frontOptions() {
    const sr = state.sr.trim() === '' ? NaN : Number(state.sr);
    const points = Number(state.points);
    if (state.sr.trim() !== '' && !(sr > 0 && sr < 1)) return { error: 'sr', message: `Selection ratio "${state.sr}": a number strictly between 0 and 1` };
    if (!(Number.isInteger(points) && points >= 2 && points <= 201)) return { error: 'points', message: `Points "${state.points}": a whole number from 2 to 201` };
    const target = state.target.trim() === '' ? NaN : Number(state.target);
    if (state.target.trim() !== '' && !(target > 0 && target <= 1)) return { error: 'target', message: `Target AI "${state.target}": a number greater than 0 and at most 1` };
    const sample = state.sample.trim() === '' ? 0 : Number(state.sample);
    if (!(Number.isInteger(sample) && sample >= 0 && sample <= 1e9) || (state.sample.trim() !== '' && sample < 1))
      return { error: 'sample', key: 'sample_size', message: `Sample size "${state.sample}": a whole number of applicants from 1 to 1000000000` };
    return { sr, points, target, sample };
  }

  function analyse() {
    const start = performance.now();
    clearFaults();
    $('front-options').hidden = state.view !== 'front';
    for (const radio of document.querySelectorAll('input[name=view]')) radio.checked = radio.value === state.view;
    $('front-sr').value = state.sr;
    $('front-points').value = state.points;
    $('front-free').checked = state.free;
    $('front-target').value = state.target;
    $('front-sample').value = state.sample;
    let reply;
    if (state.view === 'front') {
      const options = frontOptions();
      if (options.error) {
        reply = { ok: false, messages: [options.message], fault: { key: options.key || 'front.' + options.error } };
      } else {
        reply = JSON.parse(engine.front(state.text, state.name, options.sr, options.points, state.free, options.target, options.sample));
      }
    } else {
      reply = JSON.parse(engine.study(state.text, state.name, ''));
    }
    answer = reply;
    if (!reply.ok) {
      clearResults();
      showFaults(reply.messages, reply.fault);
      $('status').textContent = 'The problem is not complete or not valid: see the messages.';
    } else {
      const r = JSON.parse(reply.json);
      answer.parsed = r;
      ({ study: renderStudy, groups: renderGroups, staged: renderStaged, front: renderFront, group_front: renderGroupFront })[reply.kind](r);
      renderChart(reply.svg);
      $('status').textContent = /front$/.test(reply.kind) ? `Front of ${r.points.length} points.` : 'Study computed.';
    }
    document.body.setAttribute('data-kind', reply.ok ? reply.kind : 'refused');
    timings.lastUpdateMs = performance.now() - start;
    if (timings.firstStudyMs === null) timings.firstStudyMs = performance.now();
  }

  // The form as the problem's text, analysed.
  function fromForm(push) {
    state.text = studyFileOf(model);
    if (!/\.json$/i.test(state.name)) state.name = state.name.replace(/\.(deck|toml|txt)$/i, '') + '.json';
    $('text').value = state.text;
    $('source').textContent = `Problem: ${state.name} (edited in the form)`;
    $('example').value = '';
    analyse();
    record(push || !editing);
    editing = !push;
  }

  // A new text (an example, a file, the text area, the address): the form
  // follows it when the library can read it.
  function fromText(text, name, options = {}) {
    state.text = text;
    state.name = name;
    if (options.view) Object.assign(state, options.view);
    if (!options.fromTextArea) $('text').value = text;
    const converted = JSON.parse(engine.convert(text, name, 'json'));
    model = converted.ok ? modelOf(JSON.parse(converted.text)) : null;
    if (!options.fromTextArea || converted.ok) renderForm();
    if (!converted.ok) {
      $('form').hidden = true;
      $('form-note').hidden = false;
      $('form-note').textContent = 'The form shows a problem once its text can be read: correct the text below.';
      $('text-details').open = true;
    }
    $('source').textContent = `Problem: ${name}`;
    $('example').value = examples[name] === text ? name : '';
    analyse();
  }

  // ---------- files, examples, downloads ----------

  async function openFile(file) {
    if (!file) return;
    if (file.size > maxFileBytes) {
      fromText('', file.name);
      showFaults([`${file.name}: larger than 1 MiB, more than a study file of ten variables can hold`], null);
      return;
    }
    const text = await file.text();
    fromText(text, file.name);
    record(true);
    editing = false;
  }

  function download(kind) {
    const error = $('error-download');
    error.hidden = true;
    const base = (state.name || 'problem').replace(/\.[A-Za-z]+$/, '');
    let text, name, type = 'text/plain';
    if (kind === 'deck' || kind === 'toml') {
      const reply = JSON.parse(engine.convert(state.text, state.name, kind));
      if (!reply.ok) {
        error.textContent = reply.messages.join('\n');
        error.hidden = false;
        return;
      }
      text = reply.text;
      name = base + (kind === 'deck' ? '.deck' : '.toml');
    } else {
      if (!answer || !answer.ok) {
        error.textContent = 'Nothing is computed: correct the problem first.';
        error.hidden = false;
        return;
      }
      const suffix = /front$/.test(answer.kind) ? '-front' : '';
      text = answer[kind];
      name = base + suffix + '.' + kind;
      type = { csv: 'text/csv', json: 'application/json', svg: 'image/svg+xml' }[kind];
    }
    const url = URL.createObjectURL(new Blob([text], { type }));
    const a = element('a', { href: url, download: name });
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }

  // ---------- events ----------

  function wire() {
    const select = $('example');
    for (const name of Object.keys(examples)) {
      select.append(element('option', { value: name }, exampleTitles[name] ? `${name}: ${exampleTitles[name]}` : name));
    }
    select.addEventListener('change', () => {
      if (!select.value) return;
      fromText(examples[select.value], select.value);
      record(true);
      editing = false;
    });
    $('open').addEventListener('change', (e) => openFile(e.target.files[0]).then(() => { e.target.value = ''; }));

    const form = $('form');
    form.addEventListener('input', (e) => {
      const path = e.target.getAttribute('data-path');
      if (path) assign(path, e.target.value);
      else if (e.target.id === 'ratios') model.ratios = e.target.value;
      else if (e.target.id === 'sweep') model.sweep = e.target.value;
      else if (['basis', 'pool', 'quality'].includes(e.target.id)) model[e.target.id] = e.target.value;
      else if (e.target.name === 'weights') {
        model.mode = e.target.value;
        // Weights left to the front: the front is what there is to see.
        if (model.mode === 'front') state.view = 'front';
        renderForm();
      } else return;
      fromForm(false);
    });
    // A change that is complete (a field left, a choice made) ends the edit:
    // the next one starts a new entry of the history.
    form.addEventListener('change', () => { editing = false; });
    form.addEventListener('submit', (e) => e.preventDefault());
    form.addEventListener('click', (e) => {
      const t = e.target;
      if (t.id === 'add-predictor') addPredictor();
      else if (t.id === 'add-criterion') addCriterion();
      else if (t.id === 'add-group') {
        const n = names().length;
        model.groups.push({ name: freshName('Group '), share: '10', hasEffects: true, effects: Array(n).fill('0') });
      } else if (t.id === 'remove-group') model.groups.pop();
      else if (t.hasAttribute('data-remove-variable')) removeVariable(Number(t.getAttribute('data-remove-variable')));
      else if (t.id === 'use-paste') return usePaste();
      else return;
      renderForm();
      fromForm(true);
    });
    // A block of cells pasted into one cell of the grid fills the grid.
    $('grid').addEventListener('paste', (e) => {
      const text = e.clipboardData.getData('text/plain');
      if (!/[\t,;\n]/.test(text.trim())) return;
      e.preventDefault();
      $('paste').value = text;
      usePaste();
    });

    $('text').addEventListener('input', (e) => {
      fromText(e.target.value, state.name || 'problem', { fromTextArea: true });
      record(!editing);
      editing = true;
    });
    $('text').addEventListener('change', () => { editing = false; });

    for (const radio of document.querySelectorAll('input[name=view]')) {
      radio.addEventListener('change', () => {
        state.view = radio.value;
        analyse();
        record(true);
      });
    }
    const frontInput = () => {
      state.sr = $('front-sr').value;
      state.points = $('front-points').value;
      state.free = $('front-free').checked;
      state.target = $('front-target').value;
      state.sample = $('front-sample').value;
      analyse();
      record(!editing);
      editing = true;
    };
    for (const id of ['front-sr', 'front-points', 'front-free', 'front-target', 'front-sample']) {
      $(id).addEventListener('input', frontInput);
      $(id).addEventListener('change', () => { editing = false; });
    }
    $('front-sr').setAttribute('data-key', 'front.sr');
    $('front-points').setAttribute('data-key', 'front.points');
    $('front-target').setAttribute('data-key', 'front.target');
    $('front-sample').setAttribute('data-key', 'sample_size');

    for (const b of document.querySelectorAll('[data-download]')) {
      b.addEventListener('click', () => download(b.getAttribute('data-download')));
    }

    document.addEventListener('dragover', (e) => {
      e.preventDefault();
      document.body.classList.add('dragging');
    });
    document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
    document.addEventListener('drop', (e) => {
      e.preventDefault();
      document.body.classList.remove('dragging');
      openFile(e.dataTransfer.files[0]);
    });

    const follow = () => {
      if (location.hash === loadedHash) return;
      const s = stateOf(location.hash);
      if (!s) return;
      loadedHash = location.hash;
      editing = false;
      fromText(s.text, s.name, { view: { view: s.view, sr: s.sr, points: s.points, free: s.free, target: s.target, sample: s.sample } });
    };
    window.addEventListener('popstate', follow);
    window.addEventListener('hashchange', follow);
  }

  // The library's module, its WebAssembly from the page itself (no request).
  function wasmBytes() {
    const binary = atob($('wasm').textContent.trim());
    const bytes = new Uint8Array(binary.length);
    for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
    return bytes;
  }

  FourFifths({ wasmBinary: wasmBytes() }).then((module) => {
    engine = module;
    wire();
    const s = stateOf(location.hash);
    if (s) {
      loadedHash = location.hash;
      fromText(s.text, s.name, { view: { view: s.view, sr: s.sr, points: s.points, free: s.free, target: s.target, sample: s.sample } });
    } else {
      fromText(examples['worked.deck'], 'worked.deck');
      record(false);
    }
    document.body.setAttribute('data-ready', 'true');
  });
})();
