// The editor factory the plug-in library gives every effect it makes: the
// front panel (editor/SDEditor.h). Tests that build an effect directly pass
// it to have the same editor as the plug-in.
#pragma once

class AudioEffect;

// UI thread (the effect's constructor). The editor attaches itself.
void makeFrontPanel(AudioEffect* effect);
