// An sACN sender that we did not write: the npm package "sacn" (k-yle/sACN), driven by lines
// read from a FIFO, one command a line:
//   SOURCE PRIORITY V1,V2,...   levels from slot 1 on, sent by the source of that name (its
//                               CID is made from the name), then re-sent 5 times a second
//   stop SOURCE                 the source falls silent (the package sends no
//                               Stream_Terminated), so a receiver loses it after 2.5 s
// Usage: node sacn_npm_sender.js FIFO UNIVERSE PORT INTERFACE_IP
// Multicast to the universe's group on the interface given. Prints "sent SOURCE" and
// "stopped SOURCE" as it goes; ends when the FIFO's writer closes it.
const { Sender } = require('sacn');
const fs = require('fs');
const readline = require('readline');

const [fifo, universe, port, iface] = process.argv.slice(2);
const senders = new Map();

function cidOf(name) {
  const cid = Buffer.alloc(16);
  Buffer.from(name).copy(cid);
  return cid;
}

function senderOf(name) {
  if (!senders.has(name)) {
    senders.set(name, new Sender({
      universe: Number(universe),
      port: Number(port),
      iface,
      reuseAddr: true,
      minRefreshRate: 5,
      defaultPacketOptions: { sourceName: name, cid: cidOf(name), useRawDmxValues: true },
    }));
  }
  return senders.get(name);
}

const lines = readline.createInterface({ input: fs.createReadStream(fifo) });
lines.on('line', async (line) => {
  const words = line.trim().split(/\s+/);
  if (words[0] === 'stop') {
    const sender = senders.get(words[1]);
    if (sender) sender.close();
    senders.delete(words[1]);
    console.log(`stopped ${words[1]}`);
    return;
  }
  const [name, priority, values] = words;
  const payload = {};
  values.split(',').forEach((v, i) => { payload[i + 1] = Number(v); });
  await senderOf(name).send({ payload, priority: Number(priority) });
  console.log(`sent ${name}`);
});
lines.on('close', () => {
  for (const sender of senders.values()) sender.close();
});
