// Sample for the TypeScript lexer: JavaScript plus types.
import type { Readable } from "stream";

export interface Options<T extends object = {}> {
  readonly name: string;
  size?: number;
  tags: Array<string> | undefined;
  map: Record<string, T>;
}

export type Handler = (value: unknown, index: number) => boolean | void;
type Keys = keyof Options;

declare module "vendor" {
  export function load(path: string): Promise<Buffer>;
}

export declare namespace Shapes {
  const enum Kind { Circle = 1, Square = 0x2 }
  abstract class Shape implements Drawable {
    protected constructor(public kind: Kind) {}
    abstract area(): number;
  }
}

@sealed
export class Box<T> {
  private items: T[] = [];
  static #count = 0n;
  add(item: T): this { this.items.push(item); return this; }
  get half(): number { return this.items.length / 2; }
  matches(s: any): s is string { return typeof s === "string" && /^[a-z]+$/i.test(s); }
}

let n = (value as number) / 3;
const label = `box of ${n satisfies number} ${"items"}`;
function assertNever(x: never): never { throw new Error(`unexpected ${x}`); }
