// SPDX-License-Identifier: Apache-2.0
// The settings panel: one row per setting the viewer offers, each sending a `set` message when changed
// and showing the camera's answer beside it; without control it only says that control is off.

function element(tag, properties = {}, children = []) {
  const node = Object.assign(document.createElement(tag), properties);
  node.append(...children);
  return node;
}

function numberInput(min, max, value) {
  return element('input', { type: 'number', min, max, step: 1, value: value ?? '' });
}

// The input(s) of one setting and a function reading them back as the setting's JSON value.
function editorFor(setting) {
  if (setting.kind === 'switch') {
    const box = element('input', { type: 'checkbox', checked: setting.value === true });
    return { nodes: [box], read: () => box.checked };
  }
  if (setting.kind === 'number' && Array.isArray(setting.allowed) && setting.allowed.length > 0) {
    const select = element('select', {}, setting.allowed.map((v) => element('option', { value: v, textContent: v })));
    select.value = setting.value;
    return { nodes: [select], read: () => Number(select.value) };
  }
  if (setting.kind === 'number') {
    const input = numberInput(setting.min, setting.max, setting.value);
    return { nodes: [input], read: () => Number(input.value) };
  }
  const inputs = (setting.fields || []).map((f) => [f.name, numberInput(f.min, f.max, setting.value?.[f.name])]);
  const nodes = inputs.map(([name, input]) => element('label', { className: 'field' }, [name, input]));
  return { nodes, read: () => Object.fromEntries(inputs.map(([name, input]) => [name, Number(input.value)])) };
}

export class SettingsPanel {
  constructor(container, send) {
    this.container = container;
    this.send = send;
    this.nextId = 1;
    this.pending = new Map(); // message id -> the name of the setting it sets
    this.statusOf = new Map(); // setting name -> the status element of its row
  }

  // Builds the rows from a hello. The viewer sends a new hello to every page after each change, so a row's
  // last answer is carried over and an answer still on its way finds the new row.
  show(hello) {
    const before = this.statusOf;
    this.statusOf = new Map();
    if (!hello.control) {
      this.pending.clear();
      this.container.replaceChildren(
        element('p', { className: 'note', textContent: 'Control is off: start the viewer with --allow-control to change settings here.' }));
      return;
    }
    this.container.replaceChildren(...(hello.settings || []).map((setting) => this.row(setting, before.get(setting.name))));
  }

  row(setting, previous) {
    const editor = editorFor(setting);
    const status = element('span', { className: previous?.className ?? 'ack', textContent: previous?.textContent ?? '' });
    this.statusOf.set(setting.name, status);
    const apply = () => {
      const id = this.nextId++;
      this.pending.set(id, setting.name);
      status.className = 'ack';
      status.textContent = '…';
      this.send({ type: 'set', id, name: setting.name, value: editor.read() });
    };
    const controls = setting.kind === 'fields' ? [element('button', { type: 'button', textContent: 'set', onclick: apply })] : [];
    if (setting.kind !== 'fields') editor.nodes[0].addEventListener('change', apply);
    return element('div', { className: 'setting', title: setting.description || '' }, [
      element('span', { className: 'name', textContent: setting.name }), ...editor.nodes, ...controls, status,
    ]);
  }

  // Shows the camera's answer to a `set` beside the row that sent it.
  acknowledge(ack) {
    const status = this.statusOf.get(this.pending.get(ack.id));
    if (!status) return;
    this.pending.delete(ack.id);
    status.className = ack.ok ? 'ack ok' : 'ack refused';
    status.textContent = ack.ok ? 'ok' : ack.error || 'refused';
  }
}
