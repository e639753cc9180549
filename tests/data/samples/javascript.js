#!/usr/bin/env node
/* Sample for the JavaScript lexer:
   comments, literals, regular expressions and blocks. */
'use strict';
import { readFile } from 'node:fs/promises';

const hex = 0xFF_FF, oct = 0o755, bin = 0b1010n, big = 9_007_199n;
const real = 3.25e-2 + .5 + 1.;
let ratio = total / count / 2;          // divisions
const word = /\b[a-z$_][\w$]*\b/gi;     // a regex literal
const slashes = /[/\]]+\/(?=x)/u;

class Counter extends Base {
  #count = 0;
  static from(list) { return new Counter(list.length); }
  get value() { return this.#count++ / 1; }
}

async function* lines(path, { encoding = "utf8" } = {}) {
  const text = await readFile(path, encoding);
  for (const line of text.split(/\r?\n/)) {
    if (line === '' || typeof line !== "string") continue;
    yield `${path}: ${line.replace(/\t/g, "  ")} (${{ n: 1 }.n})`;
  }
}

const message = `multi
line ${hex > 0 ? `nested ${oct}` : 'none'} template`;
label: while (true) {
  try { throw new Error("it's \"quoted\"\n"); }
  catch (e) { break label; }
  finally { void 0; }
}
export default { lines, Counter, ratio: ratio ?? null, ok: a?.b ?? undefined };
