"""A MIDI sender for the MIDI input tests: mido over python-rtmidi on JACK, driven from stdin.

Usage: midi_sender.py CLIENT PORT
Opens the virtual output port CLIENT:PORT and answers "ready". Then one command a line, each
answered by one line, "ok ..." or "error ...":
  connect NAME        opens a second output, connected to the input port called NAME
  virtual HEX HEX...  sends the bytes on the virtual output
  direct HEX HEX...   sends the bytes on the connected output
  ports               lists the input ports it could connect to
"""
import sys

import mido


def main():
    mido.set_backend('mido.backends.rtmidi/UNIX_JACK')
    client, port = sys.argv[1], sys.argv[2]
    outputs = {'virtual': mido.open_output(port, client_name=client)}
    print('ready', flush=True)
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        try:
            if words[0] == 'connect':
                outputs['direct'] = mido.open_output(' '.join(words[1:]))
                print('ok connected', flush=True)
            elif words[0] == 'ports':
                print('ok ' + ' | '.join(mido.get_output_names()), flush=True)
            elif words[0] in outputs:
                message = mido.Message.from_bytes([int(w, 16) for w in words[1:]])
                outputs[words[0]].send(message)
                print('ok sent', flush=True)
            else:
                print('error unknown command ' + words[0], flush=True)
        except (IOError, ValueError) as error:
            print('error ' + str(error).replace('\n', ' '), flush=True)


if __name__ == '__main__':
    main()
