; A dual carriageway: a 5 m median (2 m flat and 0.5 m falling 20 % each side of the centre line), two 7 m
; carriageways falling 2.5 % outward, 2 m verges. Batters 1:1.5 in cut and 1:2 in fill.
[TemplateType]
Version=7
; dual, dims4, dims6, dims8, cut batter, fill batter, dims5, dims9, dims7, dims1, dims3, type value, extras
Type=dual,0,0,0,1.5,2,0,0,0,0,0,2,0,0,0,0

[LowerMedian]
Line1=2.0,0,0
Line2=0.5,-20,0

[UpperMedian]
Line1=2.0,0,0
Line2=0.5,-20,0

[LeftCompulsory]
Line1=7.0,-2.5,100
Line2=2.0,2,0

[RightCompulsory]
Line1=7.0,-2.5,100
Line2=2.0,2,0

[LeftCutAdditions]
Line1=0.6,-50,0,0,999,0,0,0

[RightCutAdditions]
Line1=0.6,-50,0,0,999,0,0,0

[LeftLayerWorks]
Line1=0,-100,-2,0,0.05,Asphalt

[RightLayerWorks]
Line1=0,2,100,0,0.05,Asphalt
