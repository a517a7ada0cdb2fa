% The Prolog level the differential test and the benchmarks need before the
% system's own exists: the event handlers. Stack growth happens in the
% engine; the handlers only let the interrupted code go on.
'$event_handler'.
'$frame_handler'(Cells, Live, I1, I2, Cut, R1, R2) :- '$resume'(Cells, Live, I1, I2, Cut, R1, R2).
