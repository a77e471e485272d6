# Gives speech a new pitch contour and keeps everything else: its timing, its formants, its
# voice. Pitch-synchronous overlap-add (PSOLA) on Praat's Manipulation, whose pitch tier is
# replaced by the given one. tools/make-clips runs it on flite's output.
#
#   praat --run shape-pitch.praat SPEECH PITCHTIER OUTPUT
#
# OUTPUT is a 32-bit WAV file; a peak that would clip in it stops the script.
form Shape pitch
    sentence Speech
    sentence Pitch_tier
    sentence Output
endform

speech = Read from file: speech$
# Pulses are found between 75 and 600 Hz: the voice is a man's, about 100 Hz.
manipulation = To Manipulation: 0.01, 75, 600
contour = Read from file: pitch_tier$
selectObject: manipulation, contour
Replace pitch tier
selectObject: manipulation
shaped = Get resynthesis (overlap-add)
peak = Get absolute extremum: 0, 0, "none"
if peak >= 1
    exitScript: "the shaped speech would clip: its peak is ", peak
endif
Save as 32-bit WAV file: output$
