// Debian's Firefox ESR, driven over WebDriver BiDi with puppeteer-core, for tests/web/browser.py:
// one command a line on standard input, as JSON [name, ...arguments], one answer a line on
// standard output, as JSON {value} or {error}. Debian has no geckodriver, which WebDriver classic
// would need.
'use strict';

const readline = require('readline');
const puppeteer = require('puppeteer-core');

const [width, height, ratio] = process.argv.slice(2).map(Number);
let browser;
let page;
const said = [];  // the console's lines and the page's uncaught errors since they were last read
const requested = [];  // every address the page asked for since it was last read

// Scripts run as WebDriver's do: a function body with `arguments`, whose promise is awaited.
const run = (code, args) => page.evaluate(`(function () { ${code} }).apply(null, ${JSON.stringify(args)})`);

// The tab's console, errors and requests are noted, and its viewport set.
const watch = () => {
  page.on('console', message => said.push(`${message.type()}: ${message.text()}`));
  page.on('pageerror', error => said.push(`uncaught: ${error.message}`));
  page.on('request', request => requested.push(request.url()));
  return commands.viewport(width, height, ratio);
};

const commands = {
  async start() {
    browser = await puppeteer.launch({
      browser: 'firefox', executablePath: '/usr/bin/firefox-esr', headless: true,
      // No background connection of the browser's own, so that every request is the page's.
      extraPrefsFirefox: {'network.connectivity-service.enabled': false, 'app.update.enabled': false},
    });
    // In a tab of its own: the window's first tab never has the focus, without which a page shows
    // no focus ring and no key presses a button.
    [page] = await browser.pages();
    await commands.reopen();
  },
  // The tab closed and a new one opened: Firefox keeps a page left in the same tab alive in its
  // back-forward cache.
  async reopen() {
    const left = page;
    page = await browser.newPage();
    await watch();
    await left.close();
  },
  // A page that Tab has left for the browser's bar gets the focus back in a tab of its own, as a
  // person's click would give it back: the driver's click does not.
  open: async url => {
    if (!await page.evaluate(() => document.hasFocus())) await commands.reopen();
    await page.goto(url);
  },
  script: (code, args) => run(code, args),
  // Each [down, up or type, WebDriver key values]: a value that is one character is a key that
  // types it; a text is typed key by key in one BiDi action.
  keys: async actions => {
    for (const [kind, keys] of actions) {
      await page.keyboard[kind](keys);
    }
  },
  // The ids of the elements that Firefox's accessibility tree gives the role and name.
  named: async (role, name) => {
    const found = await page.$$(`::-p-aria([role=${JSON.stringify(role)}][name=${JSON.stringify(name)}])`);
    return Promise.all(found.map(element => element.evaluate(e => e.id)));
  },
  click: (x, y) => page.mouse.click(x, y),
  press: async (x, y) => { await page.mouse.move(x, y); await page.mouse.down(); },
  release: async (x, y) => { await page.mouse.move(x, y); await page.mouse.up(); },
  tap: (x, y) => page.touchscreen.tap(x, y),
  viewport: (w, h, r) => page.setViewport({width: w, height: h, deviceScaleFactor: r}),
  screenshot: () => page.screenshot({encoding: 'base64'}),
  said: () => said.splice(0),
  requested: () => requested.splice(0),
  stop: () => browser.close(),
};

const lines = readline.createInterface({input: process.stdin});
let queue = Promise.resolve();
lines.on('line', line => {
  const [name, ...args] = JSON.parse(line);
  queue = queue.then(() => commands[name](...args))
    .then(value => ({value: value ?? null}), error => ({error: String(error && error.stack || error)}))
    .then(answer => process.stdout.write(JSON.stringify(answer) + '\n'));
});
lines.on('close', () => queue.then(() => browser && browser.close()));
