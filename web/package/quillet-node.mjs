// Node's `import 'quillet'`: the CommonJS package itself (quillet.cjs), loaded synchronously.
export * from './quillet.cjs';
