#!/usr/bin/python3
"""kinetra preview's latency: a track-bar change on the built-in 1280x720 clip with a
four-command script, timed from the track request to the last byte of the new frame's image.

    python3 bench/preview_latency.py [build/kinetra] [ROUNDS]
"""
import http.client
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

SCRIPT = """[0-47]
copyframe(2,f-1,0,0,i,j,0,0)
alpha(2,0,0,0,i,j,0,0,0.33)
rotate(0,3,2*p*g/n,0,0,i/3,j/3,i/2,j/2)
fill(0,x/4,100,200,100,4096,0,0)
"""


def main(program, rounds):
    script = os.path.join(tempfile.mkdtemp(prefix="kinetra-latency-"), "fx.txt")
    with open(script, "w") as f:
        f.write(SCRIPT)
    server = subprocess.Popen([program, "preview", "--script", script, "--size", "1280x720"],
                              stdout=subprocess.PIPE, text=True)
    try:
        port = int(server.stdout.readline().split("127.0.0.1:")[1].split("/")[0])
        connection = http.client.HTTPConnection("127.0.0.1", port)

        def get(path):
            connection.request("GET", path)
            response = connection.getresponse()
            return response, response.read()

        get("/frame/24.jpg")  # the first frame loads the plug-in's script and the clip's picture
        for kind in ("jpg", "png"):
            times, renders = [], []
            for i in range(rounds):
                start = time.perf_counter()
                connection.request("POST", "/api/tracks", json.dumps({"8": 1000 + 100 * (i % 20)}))
                connection.getresponse().read()
                response, _ = get(f"/frame/24.{kind}")
                times.append((time.perf_counter() - start) * 1000)
                renders.append(float(response.getheader("X-Kinetra-Render-Ms")))
            times.sort()
            print(f"{kind}: track change to last byte: median {statistics.median(times):.1f} ms, "
                  f"90th percentile {times[int(len(times) * 0.9)]:.1f} ms, worst {times[-1]:.1f} ms; "
                  f"the plug-in's part: median {statistics.median(renders):.1f} ms ({rounds} rounds)")
    finally:
        server.terminate()
        server.wait()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/kinetra", int(sys.argv[2]) if len(sys.argv) > 2 else 40)
