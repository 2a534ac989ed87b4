// The whole frame of light: glow decay, the dark-frame rule and the fans of every
// censused window, drawn band by band so that the frame's rows stay in cache.
#pragma once

// Rebuilds the ramp, clears the frame buffer, decays every censused window's glow by
// one step and draws each window's fan, lowest window first, so a higher window's
// fan covers a lower one's. A frame in which no window kept a glow ends cleared.
// A glow that is not a finite number after the decay is set to 0.0 like a negative
// one. Allocates nothing once the frame buffer and the glow entries exist.
// Called by the watch loop when the scene changed.
void render_light();
