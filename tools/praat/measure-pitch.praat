# Prints the pitch of a sound file from a given start time on, for tools/check-clips: a first
# line with the 5 %, 50 % and 95 % quantiles in Hz, then one line for each voiced frame: its time
# and F0.
#
#   praat --run measure-pitch.praat FILE START
#
# Praat's default pitch analysis (autocorrelation, time step 0.75 / floor), floor 75 Hz,
# ceiling 500 Hz: wide enough for a raised voice, and it is the measure the figures in the
# README were taken with.
form Measure pitch
    sentence File
    real Start 0
endform

Read from file: file$
if start > 0
    end = Get end time
    Extract part: start, end, "rectangular", 1, "no"
endif
To Pitch: 0.0, 75, 500
q05 = Get quantile: 0, 0, 0.05, "Hertz"
q50 = Get quantile: 0, 0, 0.50, "Hertz"
q95 = Get quantile: 0, 0, 0.95, "Hertz"
writeInfoLine: fixed$ (q05, 3), tab$, fixed$ (q50, 3), tab$, fixed$ (q95, 3)
frames = Get number of frames
for frame to frames
    f0 = Get value in frame: frame, "Hertz"
    if f0 <> undefined
        time = Get time from frame number: frame
        appendInfoLine: fixed$ (time, 4), tab$, fixed$ (f0, 3)
    endif
endfor
