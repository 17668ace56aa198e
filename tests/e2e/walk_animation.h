// What the animation exporter writes for the walking rig of the animation
// tests (hip, knee and a null toe bone; the hip moves 10 file units along x
// per frame over frames 0 to 4). The scene file tests expect the same bytes
// from that rig saved and loaded again.
#pragma once

inline constexpr const char* kWalkAnimationSmd =
    "version 1\nnodes\n0\t \"hip\"\t -1\n1\t \"knee\"\t 0\n2\t \"toe\"\t 1\t // null bone\nend\nskeleton\n"
    "time 0\n 0  0.000000 0.000000 40.000000  0.000000 -0.000000 -0.000000\n"
    "1  0.000000 0.000000 -20.000000  0.000000 -0.000000 -0.000000\n"
    "2  0.000000 10.000000 0.000000  0.000000 -0.000000 -0.000000\n"
    "time 1\n 0  10.000000 0.000000 40.000000  0.000000 -0.000000 -0.000000\n"
    "time 2\n 0  20.000000 0.000000 40.000000  0.000000 -0.000000 -0.000000\n"
    "time 3\n 0  30.000000 0.000000 40.000000  0.000000 -0.000000 -0.000000\n"
    "time 4\n 0  40.000000 0.000000 40.000000  0.000000 -0.000000 -0.000000\n"
    "end\n";
