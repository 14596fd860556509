// The package's CommonJS copies of its own ES modules, for build.sh: NAME.js becomes NAME.cjs.
// It knows only the forms those modules use (named imports from './x.js', `export` before a
// declaration) and stops the build on anything else, rather than guess.
//
// usage: node commonjs.mjs FOLDER NAME.js ...
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [folder, ...modules] = process.argv.slice(2);

function convert(source, name) {
  const exported = [];
  let text = source.replace(/^import \{([^}]*)\} from '\.\/([\w-]+)\.js';$/gm,
    (_, names, from) => `const {${names.replace(/\s+as\s+/g, ': ')}} = require('./${from}.cjs');`);
  text = text.replace(/^export (const|let|function|async function|class) (\w+)/gm,
    (_, kind, declared) => {
      exported.push(declared);
      return `${kind} ${declared}`;
    });
  const leftover = text.match(/^(import|export)\b.*$|\bimport\.meta\b|\bimport\(/m);
  if (leftover) throw new Error(`${name}: no CommonJS form for ${JSON.stringify(leftover[0])}`);
  // One `exports.NAME = NAME;` line each, so that Node's import of this file finds the names.
  return `'use strict';\n${text}\n${exported.map((n) => `exports.${n} = ${n};`).join('\n')}\n`;
}

for (const name of modules) {
  const source = readFileSync(join(folder, name), 'utf8');
  writeFileSync(join(folder, name.replace(/\.js$/, '.cjs')), convert(source, name));
}
