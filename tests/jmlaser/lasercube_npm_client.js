'use strict';
// Drives a LaserCube with the independent client from npm (@laser-dac/lasercube-wifi): find it
// by its full-info broadcast, stream a 300-point frame for a while, stop.
// Usage: node lasercube_npm_client.js SECONDS POINTS_PER_SECOND
//
// Two changes to the client's sockets keep the test on this machine: its broadcasts go to the
// loopback network (127.255.255.255) instead of every network, and its sockets share their
// port numbers with the cube stand-in, which listens on 127.0.0.2.
const dgram = require('dgram');
const createSocket = dgram.createSocket;
dgram.createSocket = (type, listener) => createSocket({ type: 'udp4', reuseAddr: true }, listener);
const send = dgram.Socket.prototype.send;
dgram.Socket.prototype.send = function (...args) {
  return send.apply(this, args.map((a) => (a === '255.255.255.255' ? '127.255.255.255' : a)));
};

const { LasercubeWifi } = require('@laser-dac/lasercube-wifi');

const seconds = Number(process.argv[2] || 3);
const pps = Number(process.argv[3] || 30000);
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

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function main() {
  const cube = new LasercubeWifi();
  if (!(await cube.start())) {
    console.log('no LaserCube found');
    process.exit(3);
  }
  cube.stream({ points }, pps);
  await sleep(seconds * 1000);
  cube.stop();
  await sleep(300);
  process.exit(0);
}

main();
