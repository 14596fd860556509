// A surface that wants to know how a number was passed (the running x as a 16-bit integer, pX as
// single precision, a computed position as double) has a method under this key, taking the
// member's name, the value and its kind ('text', 'bool', 'int16', 'int32', 'float', 'double'); it
// is called instead of the property put. RecordingSurface uses it to write numbers as the trace
// does.
export const putWithKind = Symbol.for('quillet.putWithKind');
