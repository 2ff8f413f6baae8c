'use strict';
// Drives an Ether Dream with the independent client from npm (@laser-dac/ether-dream):
// discover it by its broadcast, stream a 300-point frame for a while, stop.
// Usage: node etherdream_npm_client.js SECONDS POINTS_PER_SECOND
const { EtherDream } = require('@laser-dac/ether-dream');

const seconds = Number(process.argv[2] || 3);
const pps = Number(process.argv[3] || 20000);
const kPoints = 300;
const points = [];
for (let k = 0; k < kPoints; k++) {
  points.push({
    x: k / kPoints,
    y: 1 - k / kPoints,
    r: k % 3 === 0 ? 1 : 0,
    g: k % 3 === 1 ? 1 : 0,
    b: k % 3 === 2 ? 1 : 0,
  });
}

let stopping = false;
process.on('uncaughtException', (error) => {
  // After stop() the client's own polling may still touch its closed socket; that is the
  // client's business once it has stopped the DAC.
  console.log('client error: ' + error);
  process.exit(stopping ? 0 : 4);
});

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function main() {
  const device = new EtherDream();
  let started = false;
  // The broadcast port may be held for a moment by another listener on this machine.
  for (let attempt = 0; attempt < 5 && !started; attempt++) {
    started = await device.start();
    if (!started) await sleep(500);
  }
  if (!started) {
    console.log('no Ether Dream found');
    process.exit(3);
  }
  device.stream({ points }, pps);
  await sleep(seconds * 1000);
  stopping = true;
  device.stop();
  await sleep(300);
  process.exit(0);
}

main();
