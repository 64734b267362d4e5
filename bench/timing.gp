# The timing plot from the driver's samples of both builds:
#   gnuplot -e "dir32='RESULTS/win32'; dir64='RESULTS/win64'; out='docs/timing.png'; title='...'" bench/timing.gp
# The i686 build (the one we ship) in blue and orange, the x86_64 build in grey
# and purple.
set terminal pngcairo size 1400,1000 font "DejaVu Sans,11"
set output out
set termoption noenhanced
set datafile separator ","
set key top right opaque box
set grid lc rgb "#dddddd"
set multiplot layout 2,2 title title font ",14"
c32 = "#1f77b4"
c64 = "#7f7f7f"

# Tick periods over time, scanner off.
set title "Tick period, scanner off (successive control writes)"
set key top center horizontal
set xlabel "time (s)"
set ylabel "period (ms)"
set yrange [0:36]
set ytics 0,5,30
plot dir32."/ticks.csv" skip 1 using 1:($2 <= 30 ? $2 : 1/0) with points pt 7 ps 0.3 lc rgb c32 title "i686", \
     dir64."/ticks.csv" skip 1 using 1:($2 <= 30 ? $2 : 1/0) with points pt 6 ps 0.3 lc rgb c64 title "x86_64", \
     dir32."/ticks.csv" skip 1 using 1:($2 > 30 ? 31 : 1/0) with points pt 9 ps 1.2 lc rgb "#d62728" title "over 30 ms", \
     dir64."/ticks.csv" skip 1 using 1:($2 > 30 ? 31 : 1/0) with points pt 8 ps 1.2 lc rgb "#d62728" notitle, \
     10 with lines lw 2 lc rgb "#2ca02c" title "10 ms", \
     12 with lines lw 1 dt 2 lc rgb "#d62728" title "p99 goal 12 ms"

# Their distribution.
set key top right
set ytics auto
set title "Tick period distribution (0.25 ms bins; periods over 30 ms at the right edge)"
set xlabel "period (ms)"
set ylabel "ticks"
set xrange [0:30]
set yrange [0.8:*]
set logscale y
binwidth = 0.25
bin(x) = binwidth * floor((x > 30 ? 29.9 : x) / binwidth) + binwidth / 2
set boxwidth binwidth
set style fill transparent solid 0.5 noborder
plot dir32."/ticks.csv" skip 1 using (bin($2)):(1.0) smooth frequency with boxes lc rgb c32 title "i686", \
     dir64."/ticks.csv" skip 1 using (bin($2)):(1.0) smooth frequency with boxes lc rgb c64 title "x86_64"
unset logscale y
set xrange [*:*]

# Transmit-follow: latency against the time until the tick's status read saw the key.
set title "Transmit-follow: keying to the control byte of the shifted channel"
set key top left
set offsets 0, 0, graph 0.2, 0
set xlabel "keying to the status read that saw it (ms)"
set ylabel "latency (ms)"
# Samples beyond 14 ms (x) or 18 ms (y) are drawn at the edge as triangles.
set xrange [0:15]
set yrange [0:*]
inside(x, y) = x <= 14 && y <= 18
edge(x, limit) = x > limit ? limit + 0.5 : x
plot dir32."/follow.csv" skip 1 using ($3):(inside($3, $2) ? $2 : 1/0) with points pt 7 ps 0.6 lc rgb "#ff7f0e" title "i686 keyed", \
     dir32."/follow.csv" skip 1 using ($5):(inside($5, $4) ? $4 : 1/0) with points pt 6 ps 0.6 lc rgb "#ff7f0e" title "i686 released", \
     dir64."/follow.csv" skip 1 using ($3):(inside($3, $2) ? $2 : 1/0) with points pt 5 ps 0.5 lc rgb "#9467bd" title "x86_64 keyed", \
     dir64."/follow.csv" skip 1 using ($5):(inside($5, $4) ? $4 : 1/0) with points pt 4 ps 0.5 lc rgb "#9467bd" title "x86_64 released", \
     dir32."/follow.csv" skip 1 using (edge($3, 14)):(inside($3, $2) ? 1/0 : edge($2, 18)) with points pt 9 ps 1.2 lc rgb "#d62728" title "beyond the axes", \
     dir32."/follow.csv" skip 1 using (edge($5, 14)):(inside($5, $4) ? 1/0 : edge($4, 18)) with points pt 9 ps 1.2 lc rgb "#d62728" notitle, \
     dir64."/follow.csv" skip 1 using (edge($3, 14)):(inside($3, $2) ? 1/0 : edge($2, 18)) with points pt 8 ps 1.2 lc rgb "#d62728" notitle, \
     dir64."/follow.csv" skip 1 using (edge($5, 14)):(inside($5, $4) ? 1/0 : edge($4, 18)) with points pt 8 ps 1.2 lc rgb "#d62728" notitle, \
     x + 2 with lines lw 1 lc rgb "#2ca02c" title "ideal: sample + 2 ms wait", \
     12.5 with lines lw 1 dt 2 lc rgb "#d62728" title "goal: max 12.5 ms"

# The sweep: one load per free channel.
set title "Scanner: time between loads over the sweeps of 384..448"
set xlabel "time (s)"
set ylabel "step (ms)"
set key top center horizontal
set xrange [*:*]
set autoscale y
set offsets 0, 0, graph 0.15, graph 0.05
plot dir32."/sweep.csv" skip 1 using 1:3 with linespoints pt 7 ps 0.4 lc rgb c32 title "i686", \
     dir64."/sweep.csv" skip 1 using 1:3 with linespoints pt 6 ps 0.4 lc rgb c64 title "x86_64", \
     60 with lines lw 2 lc rgb "#2ca02c" title "60 ms", \
     61.8 with lines lw 1 dt 2 lc rgb "#d62728" title "±3 %", \
     58.2 with lines lw 1 dt 2 lc rgb "#d62728" notitle

unset multiplot
