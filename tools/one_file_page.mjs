// Packs the built web page into one file that works opened from disk
// (file://), where a page can fetch nothing and load no module:
//   - each stylesheet it links goes into a <style>;
//   - its module scripts, with every module they import, become one inline
//     module, bundled by esbuild (web/node_modules, npm ci --prefix web);
//   - each file it preloads for fetching (the program, its WebAssembly, the
//     charting library, all gzip-compressed) goes in as base64 in a
//     <script type="application/gzip" data-file="NAME"> block, which page.js
//     reads instead of fetching NAME and unpacks as ever;
//   - the licences beside the page (uPlot's) go in as comments.
// The same page gives the same bytes.
//
// usage: node tools/one_file_page.mjs PAGE_DIR OUTPUT.html
import { readdirSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [pageDir, output] = process.argv.slice(2);
if (!output || process.argv.length > 4) {
  console.error('usage: node tools/one_file_page.mjs PAGE_DIR OUTPUT.html');
  process.exit(2);
}

function fail(what) {
  console.error(`one_file_page: ${what}`);
  process.exit(1);
}

const root = path.join(path.dirname(fileURLToPath(import.meta.url)), '..');
let esbuild;
try {
  esbuild = createRequire(path.join(root, 'web', 'package.json'))('esbuild');
} catch {
  fail('esbuild is missing; run: npm ci --prefix web (or tools/install_dependencies.sh web)');
}

const read = (name, encoding) => {
  try {
    return readFileSync(path.join(pageDir, name), encoding);
  } catch (error) {
    return fail(`${name}: ${error.message}`);
  }
};
const attribute = (tag, name) => new RegExp(`\\s${name}="([^"]*)"`).exec(tag)?.[1] ?? null;

// Text inside <script> or <style> ends at the first "</script" or "</style";
// in JavaScript "<\/" reads as "</" wherever such text can stand (a string, a
// template, a regular expression or a comment).
function escapeScript(text) {
  return text.replace(/<\/(script)/gi, '<\\/$1').replace(/<!--/g, '<\\!--');
}

let html = read('index.html', 'utf8');
const modules = [];  // the module scripts' files, in the page's order
const carried = [];  // the files the page fetches

// Every <link> of the page: kept, inlined, carried or left out.
html = html.replace(/<link\b[^>]*>\n?/g, (tag) => {
  const rel = attribute(tag, 'rel');
  const href = attribute(tag, 'href');
  if (rel === 'stylesheet') {
    const css = read(href, 'utf8');
    if (/<\/style/i.test(css)) fail(`${href} holds "</style"`);
    return `<style>/* ${href} */\n${css.trimEnd()}\n</style>\n`;
  }
  if (rel === 'preload' && attribute(tag, 'as') === 'fetch') {
    carried.push(href);
    return '';
  }
  if (rel === 'modulepreload') return '';
  if (href?.startsWith('data:')) return tag;
  return fail(`no way to carry ${tag.trim()}`);
});

// Every <script src>: module scripts are bundled, in the page's order, into
// one inline module where the first stood.
html = html.replace(/<script\b[^>]*\bsrc="[^"]*"[^>]*><\/script>\n?/g, (tag) => {
  if (attribute(tag, 'type') !== 'module') fail(`no way to carry ${tag.trim()}`);
  modules.push(attribute(tag, 'src'));
  return modules.length === 1 ? '<!-- the modules -->\n' : '';
});
if (modules.length === 0) fail('index.html loads no module script');

const bundled = await esbuild.build({
  stdin: {
    contents: modules.map((name) => `import ${JSON.stringify(`./${name}`)};`).join('\n'),
    resolveDir: path.resolve(pageDir),
    sourcefile: 'index.html',
  },
  absWorkingDir: path.resolve(pageDir),  // the bundle's comments name files as the page does
  bundle: true,
  format: 'esm',
  write: false,
  logLevel: 'silent',
}).catch((error) => fail(`bundling the modules: ${error.message}`));
const script = escapeScript(bundled.outputFiles[0].text.trimEnd());
html = html.replace('<!-- the modules -->\n', () => `<script type="module">\n${script}\n</script>\n`);

// The carried files at the end of the body: the text of the page shows while
// they are read, and a module runs only once the whole page is.
const blocks = carried.map((name) =>
  `<script type="application/gzip" data-file="${name}">${read(name).toString('base64')}</script>\n`);
const licences = readdirSync(pageDir).filter((name) => name.endsWith('.LICENSE.txt')).sort().map((name) => {
  const text = read(name, 'utf8');
  if (text.includes('--')) fail(`${name} holds "--", which would end its comment`);
  return `<!-- ${name}:\n${text.trimEnd()}\n-->\n`;
});
if (!html.includes('</body>')) fail('index.html has no </body>');
html = html.replace('</body>', () => `${blocks.join('')}${licences.join('')}</body>`);

writeFileSync(output, html);
