; A two-lane rural road: 3.5 m lanes falling 2 % from the crown, 1.5 m gravel shoulders at 4 %.
; In cut a side drain 1 m down and 1 m up, batters 1:2; in fill a 0.5 m rounding, batters 1:3.
[TemplateType]
Version=6
; single, dims4, cut batter, fill batter, dims5, dims1, dims3, type value, extra 0, extra 1
Type=single,0,2,3,0,0,0,1,0,0

[LeftCompulsory]
Line1=3.5,-2,0
Line2=1.5,-4,100

[RightCompulsory]
Line1=3.5,-2,0
Line2=1.5,-4,100

[LeftCutAdditions]
Line1=1.0,-40,0,0,999,0,0,0
Line2=1.0,40,0,0,999,0,0,0

[LeftFillAdditions]
Line1=0.5,-10,0,0,999,0,0,0

[RightCutAdditions]
Line1=1.0,-40,0,0,999,0,0,0
Line2=1.0,40,0,0,999,0,0,0

[RightFillAdditions]
Line1=0.5,-10,0,0,999,0,0,0

; leftWidth, leftRef, rightRef, rightWidth, thickness, name
[LeftLayerWorks]
Line1=0,-100,0,0,0.04,Surfacing
Line2=0.3,-100,0,0,0.15,Base course
PaveNr=1
PaveFile=rural.drg

[RightLayerWorks]
Line1=0,0,100,0,0.04,Surfacing
Line2=0,0,100,0.3,0.15,Base course
PaveNr=1
PaveFile=rural.drg
