// Assembles the page: index.html with the style sheet, the library's module
// script, its WebAssembly (base64, read by the page's script), the examples
// and the page's script inline, so that the page is one file that opens from
// disk. Its Content-Security-Policy allows exactly these inline scripts and
// this style sheet (by their SHA-256), WebAssembly compilation, and nothing
// else: no request of any kind.
//   node assemble.mjs SOURCE_DIR MODULE_JS MODULE_WASM EXAMPLES_DIR OUTPUT_HTML
import { createHash } from 'node:crypto';
import { readFileSync, readdirSync, writeFileSync, renameSync } from 'node:fs';
import { join } from 'node:path';

const [source, moduleJs, moduleWasm, examplesDir, output] = process.argv.slice(2);
const read = (path) => readFileSync(path, 'utf8');
const hash = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;

// The examples a user can start from: the decks and study files.
const examples = {};
for (const name of readdirSync(examplesDir).sort()) {
  if (/\.(deck|toml)$/.test(name)) examples[name] = read(join(examplesDir, name));
}
// In a script element nothing may read as its end tag.
const examplesJson = JSON.stringify(examples).replace(/</g, '\\u003c');

const style = read(join(source, 'style.css'));
const module = read(moduleJs);
const app = read(join(source, 'app.js'));
for (const [name, text] of [['module', module], ['app.js', app]]) {
  if (/<\/script/i.test(text)) throw new Error(`${name} holds "</script", which would end its element early`);
}
const wasm = readFileSync(moduleWasm).toString('base64');

const csp = ["default-src 'none'", `script-src ${hash(module)} ${hash(app)} 'wasm-unsafe-eval'`,
  `style-src ${hash(style)}`, "base-uri 'none'", "form-action 'none'"].join('; ');
const parts = { '@CSP@': csp, '@STYLE@': style, '@EXAMPLES@': examplesJson, '@WASM@': wasm,
  '@MODULE@': module, '@APP@': app };
let page = read(join(source, 'index.html'));
for (const [placeholder, text] of Object.entries(parts)) {
  const pieces = page.split(placeholder);
  if (pieces.length !== 2) throw new Error(`index.html: ${placeholder} must appear once`);
  page = pieces[0] + text + pieces[1];
}
// Written whole, then put in place.
writeFileSync(output + '.part', page);
renameSync(output + '.part', output);
console.log(`${output}: ${page.length} bytes`);
