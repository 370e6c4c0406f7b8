// The progress page in headless Chromium, with a recording window.external
// in place of the program's. The page is loaded the way it ships: the
// generated UTF-16 resource when BASTION_PAGE_RESOURCE names it, otherwise
// the UTF-8 source.
'use strict';

const { test, before, after, beforeEach } = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const { chromium } = require('playwright-core');

const repo = path.resolve(__dirname, '..', '..');
const screenshots = process.env.BASTION_SCREENSHOT_DIR || path.join(repo, 'build');
const pageUrl = 'http://progress.page.test/';
const closeText = '\r\n          CLOSE\r\n        ';

function pageText() {
  const resource = process.env.BASTION_PAGE_RESOURCE;
  if (resource) {
    const bytes = fs.readFileSync(resource);
    assert.equal(bytes.length % 2, 0);
    assert.notEqual(bytes.readUInt16LE(0), 0xfeff, 'no byte-order mark');
    assert.equal(bytes.readUInt16LE(bytes.length - 2), 0, 'closed by one NUL');
    assert.notEqual(bytes.readUInt16LE(bytes.length - 4), 0, 'only one NUL');
    return bytes.subarray(0, bytes.length - 2).toString('utf16le');
  }
  return fs.readFileSync(path.join(repo, 'resources', 'progress_page.html'), 'utf8');
}

let browser;
let page;
const html = pageText();

before(async () => {
  browser = await chromium.launch({
    executablePath: process.env.BASTION_CHROMIUM || '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  if (browser) await browser.close();
});

beforeEach(async () => {
  if (page) await page.close();
  page = await browser.newPage({ viewport: { width: 600, height: 310 } });
  // Nothing leaves the browser: the page is served from memory.
  await page.route('**/*', (route) => route.request().url() === pageUrl
    ? route.fulfill({ status: 200, contentType: 'text/html', body: html })
    : route.abort());
  await page.addInitScript(() => {
    window.externalCalls = [];
    window.external = {
      closebtn: function (text) { window.externalCalls.push(['closebtn', text]); },
      abortbtn: function (text) { window.externalCalls.push(['abortbtn', text]); },
    };
  });
  await page.goto(pageUrl);
});

const text = (id) => page.evaluate((i) => document.getElementById(i).innerHTML, id);
const width = (id) => page.evaluate((i) => document.getElementById(i).style.width, id);
const call = (fn, ...args) => page.evaluate(([f, a]) => window[f].apply(null, a), [fn, args]);
const calls = () => page.evaluate(() => window.externalCalls);
const shot = (name) => page.screenshot({ path: path.join(screenshots, name) });

test('the page is 600 x 310 with its parts where they belong', async () => {
  const ids = ['html_server_name', 'progress_box1', 'progress_itself1', 'prog1',
    'status_box_initial', 'progress_box2', 'progress_itself2', 'prog2', 'close_btn',
    'abort_btn', 'x_button'];
  for (const id of ids) {
    assert.ok(await page.$('#' + id), id + ' present');
  }
  const layout = await page.evaluate(() => {
    const box = (selector) => {
      const r = document.querySelector(selector).getBoundingClientRect();
      return { left: r.left, top: r.top, right: r.right, bottom: r.bottom,
        width: r.width, height: r.height };
    };
    const style = (selector) => getComputedStyle(document.querySelector(selector));
    return {
      container: box('#container'),
      title: box('#title_bar'),
      footer: box('#footer'),
      footerBorder: document.getElementById('footer').clientTop,
      close: box('#close_btn'),
      abort: box('#abort_btn'),
      cross: box('#x_button'),
      box1: box('#progress_box1'),
      track: document.querySelector('#progress_box1 .progress_track').clientWidth,
      logo: box('#logo'),
      containerColor: style('#container').backgroundColor,
      bodyColor: style('body').backgroundColor,
      textColor: style('body').color,
      fill: style('#progress_itself1').backgroundColor,
      overflow: style('body').overflow,
      title_text: document.title,
      mode: document.querySelector('meta[http-equiv="x-ua-compatible"]').content,
    };
  });
  assert.deepEqual([layout.container.width, layout.container.height], [600, 310]);
  assert.equal(layout.title.height, 30);
  assert.equal(layout.footer.height, 60);
  assert.equal(layout.footer.bottom, 310);
  assert.deepEqual([layout.close.width, layout.close.height], [77, 30]);
  assert.deepEqual([layout.abort.width, layout.abort.height], [77, 30]);
  assert.equal(600 - layout.close.right, 30);
  assert.equal(layout.close.left - layout.abort.right, 5);
  // Offsets inside the footer count from below its 1 px top border.
  assert.equal(layout.footerBorder, 1);
  const footerInside = layout.footer.top + layout.footerBorder;
  assert.equal(layout.close.top - footerInside, 15);
  assert.deepEqual([layout.cross.width, layout.cross.height], [12, 12]);
  assert.deepEqual([layout.box1.width, layout.box1.height], [535, 17]);
  assert.equal(layout.box1.left, 40);
  assert.equal(layout.track, 492);
  assert.deepEqual([layout.logo.left, layout.logo.top - footerInside], [20, 18]);
  // Layout rounds to 1/64 px.
  assert.ok(Math.abs(layout.logo.width - 132.412) < 1 / 32, String(layout.logo.width));
  assert.ok(Math.abs(layout.logo.height - 22.618) < 1 / 32, String(layout.logo.height));
  assert.equal(layout.containerColor, 'rgb(22, 30, 44)');
  assert.equal(layout.bodyColor, 'rgb(0, 128, 0)');
  assert.equal(layout.textColor, 'rgb(232, 241, 255)');
  assert.equal(layout.fill, 'rgb(58, 154, 231)');
  assert.equal(layout.overflow, 'hidden');
  assert.equal(layout.title_text, 'Tiny UI');
  assert.equal(layout.mode, 'ie=9');
  assert.equal(await text('html_server_name'), 'Server:');
  assert.equal(await text('prog1'), '0%');
  assert.equal(await text('prog2'), '0%');
  assert.equal(await text('status_box_initial'), 'Initial Client: Downloading...');
  assert.equal(await text('abort_btn'), 'ABORT');
  assert.match(await page.evaluate(() => document.body.textContent),
    /Full Bastion Client: Waiting\.\.\./);
  await shot('page-initial.png');
});

test('102 steps of "1" fill the first bar to exactly 100%', async () => {
  for (let k = 1; k <= 100; k += 1) await call('SetInitialClientProgress', '1');
  assert.equal(await text('prog1'), '100%');
  assert.equal(await width('progress_itself1'), '100%');
  await page.evaluate(() => { document.getElementById('prog1').innerHTML = 'untouched'; });
  await call('SetInitialClientProgress', '1');
  await call('SetInitialClientProgress', '1');
  assert.equal(await text('prog1'), 'untouched');
  assert.equal(await page.evaluate(() => i), 100);
  const fill = await page.evaluate(() => document.getElementById('progress_itself1').offsetWidth);
  assert.equal(fill, 492);
});

test('only the four step values advance; others just rewrite width and text', async () => {
  await call('SetInitialClientProgress', '5');
  await call('SetInitialClientProgress', 10);
  assert.equal(await text('prog1'), '15%');
  for (const value of ['7', '01', 'abc', '', null, 2, '1.0']) {
    await page.evaluate(() => {
      document.getElementById('prog1').innerHTML = 'x';
      document.getElementById('progress_itself1').style.width = '0px';
    });
    await call('SetInitialClientProgress', value);
    assert.equal(await text('prog1'), '15%', String(value));
    assert.equal(await width('progress_itself1'), '15%', String(value));
  }
  assert.equal(await page.evaluate(() => i), 15);
  await call('SetServerName', 'Server: <b>bastion.example</b>');
  assert.equal(await page.evaluate(() =>
    document.querySelector('#html_server_name b').textContent), 'bastion.example');
  await call('SetServerName', 'Server: bastion.example');
  await call('SetStatusBoxForInitialClient', 'Initial Client: Downloading...');
  await shot('page-downloading.png');
});

test('the second bar moves only once the first shows 100%', async () => {
  await call('SetOverallProgress', '5');
  assert.equal(await text('prog2'), '0%');
  for (let k = 0; k < 5; k += 1) await call('SetInitialClientProgress', '20');
  assert.equal(await text('prog1'), '100%');
  await call('SetOverallProgress', '5');
  assert.equal(await text('prog2'), '5%');
  assert.equal(await width('progress_itself2'), '5%');
});

test('the close button sends its text, the abort button its own', async () => {
  await page.click('#close_btn');
  await page.click('#abort_btn');
  const sent = await calls();
  // Chromium's parser turns the source's CR LF into LF; the text is the
  // word with its line breaks and spaces either way.
  assert.deepEqual(sent, [['closebtn', closeText.replace(/\r\n/g, '\n')],
    ['abortbtn', 'Abort pressed']]);
  assert.match(sent[0][1], /CLOSE/);
});

test('ForceRetry leaves one RETRY button that sends exactly "RETRY"', async () => {
  await call('ForceRetry');
  assert.equal(await page.$('#abort_btn'), null);
  assert.equal(await text('close_btn'), 'RETRY');
  await page.click('#close_btn');
  assert.deepEqual(await calls(), [['closebtn', 'RETRY']]);
});

test('the failure text renders red', async () => {
  await call('SetInitialClientProgress', '20');
  await call('SetStatusBoxForInitialClient',
    'Initial Client: <span style="color: red; ">Failed to download files</span>');
  await call('ForceRetry');
  const status = await page.evaluate(() => {
    const box = document.getElementById('status_box_initial');
    const span = box.querySelector('span');
    return { text: box.textContent, red: span.textContent, color: getComputedStyle(span).color };
  });
  assert.equal(status.text, 'Initial Client: Failed to download files');
  assert.equal(status.red, 'Failed to download files');
  assert.equal(status.color, 'rgb(255, 0, 0)');
  await shot('page-failed-retry.png');
});

test('the context menu, selection and dragging are cancelled; the buttons still work', async () => {
  const outcomes = await page.evaluate(() => ['contextmenu', 'selectstart', 'dragstart'].map((type) => {
    const e = new MouseEvent(type, { bubbles: true, cancelable: true });
    document.getElementById('status_box_initial').dispatchEvent(e);
    return [type, e.defaultPrevented];
  }));
  assert.deepEqual(outcomes, [['contextmenu', true], ['selectstart', true], ['dragstart', true]]);
  await page.click('#close_btn', { button: 'right' });
  await page.click('#abort_btn');
  assert.deepEqual(await calls(), [['abortbtn', 'Abort pressed']]);
});

// The page runs in IE 9 document mode: ES5 only.
test('the script uses no syntax newer than ES5', () => {
  const scripts = html.match(/<script[^>]*>([\s\S]*?)<\/script>/g) || [];
  assert.equal(scripts.length, 1);
  const code = scripts[0].replace(/'(?:[^'\\\n]|\\.)*'|"(?:[^"\\\n]|\\.)*"/g, "''");
  for (const banned of [/\blet\s/, /\bconst\s/, /=>/, /`/, /\bclass\s/, /\.\.\.\w/]) {
    assert.doesNotMatch(code, banned);
  }
  assert.doesNotMatch(html, /\s(src|href)="(https?:)?\/\//, 'nothing loaded from outside');
});
