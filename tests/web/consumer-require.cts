// A CommonJS TypeScript caller: require('quillet') has the same declarations.
import quillet = require('quillet');

const drawn: quillet.Drawn = quillet.draw(new quillet.RecordingSurface(), 'EAN_13', { code: '1' });
quillet.ready.then(() => drawn.result);
