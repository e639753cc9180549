#!/usr/bin/env node
// Command-line wrapper around highlight.js for the side-by-side benchmark.
// Usage: node hljs.js LANGUAGE FILE
// Highlights FILE with LANGUAGE (no auto-detection) and writes an HTML page
// to standard output. Only the grammars the language needs are loaded, so
// start-up cost stays close to what an embedding application would pay.
'use strict';

const fs = require('fs');
const hljs = require('highlight.js/lib/core');

// Languages that embed others (HTML pulls in style sheets and scripts).
const NEEDS = {
  xml: ['xml', 'css', 'javascript'],
  html: ['xml', 'css', 'javascript'],
};

function main(argv) {
  if (argv.length !== 2) {
    process.stderr.write('usage: node hljs.js LANGUAGE FILE\n');
    return 2;
  }
  const [language, file] = argv;
  const grammars = NEEDS[language] || [language];
  for (const name of grammars) {
    let grammar;
    try {
      grammar = require(`highlight.js/lib/languages/${name}`);
    } catch (e) {
      process.stderr.write(`hljs.js: unknown language ${name}\n`);
      return 2;
    }
    hljs.registerLanguage(name, grammar);
  }
  const text = fs.readFileSync(file, 'utf8');
  const result = hljs.highlight(text, { language: grammars[0], ignoreIllegals: true });
  const escape = (s) => s.replace(/&/g, '&amp;').replace(/</g, '&lt;');
  const page =
    '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>' + escape(file) +
    '</title></head><body><pre><code class="hljs language-' + grammars[0] + '">' +
    result.value + '</code></pre></body></html>\n';
  process.stdout.write(page);
  return 0;
}

process.exitCode = main(process.argv.slice(2));
