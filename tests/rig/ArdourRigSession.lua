-- Ardour, headless on its dummy backend (a sine on every input): the rig's
-- LV2 on a stereo track, gate off, the user's impulse given through the
-- plug-in's impulse parameter (a path: here a preset that names the file).
-- The impulse is one sample of 0.02 (a flat response 34 dB down), so the
-- track plays that much quieter with the cabinet on than with it off. The
-- session is saved, the impulse file deleted, the session reopened: the
-- cabinet must still be that impulse, the same 34 dB below the cabinet off.
-- Prints "check NAME ok|FAILED ..." lines and "done" at the end.
local dir = os.getenv("CORVEX_ARDOUR_SESSION")
local impulse = os.getenv("CORVEX_RIG_IMPULSE")
local uri = "https://ardex-plugins.example/corvex-rig"
-- The rig's parameters, by index: gate threshold 13 (0: off), cabinet on 15,
-- cabinet model 16 (1: the user's impulse).
local kGate, kCabinetOn, kCabinetModel = 13, 15, 16

function check(name, ok, detail)
  print("check " .. name .. (ok and " ok" or " FAILED") .. " " .. (detail or ""))
end

-- The track's highest peak over a third of a second, in dB.
function level(track)
  ARDOUR.LuaAPI.usleep(300000)
  track:peak_meter():reset_max()
  ARDOUR.LuaAPI.usleep(300000)
  return track:peak_meter():meter_level(0, ARDOUR.MeterType.MeterMaxPeak)
end

-- How far the cabinet (the user's impulse) sits below the cabinet off, in dB.
function cabinetDrop(track, rig)
  ARDOUR.LuaAPI.set_processor_param(rig, kCabinetOn, 0)
  local off = level(track)
  ARDOUR.LuaAPI.set_processor_param(rig, kCabinetOn, 1)
  local on = level(track)
  return off - on, string.format("cabinet off %.1f dB, on %.1f dB", off, on)
end

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
backend:set_device_name("Sine Wave")
AudioEngine:start(false)
create_session(dir, "rig", 48000)

local track = Session:new_audio_track(2, 2, nil, 1, "Guitar", ARDOUR.PresentationInfo.max_order,
                                      ARDOUR.TrackMode.Normal, true):front()
track:monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput, PBD.GroupControlDisposition.NoGroup)
local rig = ARDOUR.LuaAPI.new_plugin(Session, uri, ARDOUR.PluginType.LV2, "")
check("found", not rig:isnil())
if rig:isnil() then print("done") return end
check("inserted", track:add_processor_by_index(rig, 0, nil, true) == 0, rig:display_name())

ARDOUR.LuaAPI.set_processor_param(rig, kGate, 0)
-- The impulse parameter set as a preset that names only the file (Ardour 7's
-- Lua has no call that sets a plug-in's path parameter directly).
local plugin = rig:to_insert():plugin(0)
local preset = plugin:preset_by_label("Quiet Flat Impulse")
local set = preset ~= nil and preset.valid and plugin:load_preset(preset)
check("impulse-preset", set, preset and preset.uri or "no preset")
ARDOUR.LuaAPI.usleep(500000)
ARDOUR.LuaAPI.set_processor_param(rig, kCabinetModel, 1)
local before, detailBefore = cabinetDrop(track, rig)
check("impulse-loaded", before > 25 and before < 45,
      string.format("%s: %.1f dB down", detailBefore, before))
Session:save_state("", false, false, false, false, false)
close_session()

os.remove(impulse)
local gone = io.open(impulse, "rb")
check("impulse-deleted", gone == nil)
if gone then gone:close() end

load_session(dir, "rig")
local reopened = Session:route_by_name("Guitar")
local rig2 = reopened:nth_plugin(0)
check("reopened", not rig2:isnil() and rig2:display_name() == rig:display_name())
reopened:to_track():monitoring_control():set_value(ARDOUR.MonitorChoice.MonitorInput,
                                                  PBD.GroupControlDisposition.NoGroup)
-- The dummy backend's sine is not the same from one engine start to the
-- next, so the cabinet is compared with the cabinet off within each session.
local after, detailAfter = cabinetDrop(reopened, rig2)
check("same-cabinet-after-reopen", math.abs(after - before) < 1.0,
      string.format("before: %.1f dB down; after: %s, %.1f dB down", before, detailAfter, after))
close_session()
print("done")
