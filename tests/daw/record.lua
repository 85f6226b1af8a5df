-- Records what Velmor sends from its MIDI output, headless:
-- ardour7-lua record.lua FOLDER NAME SECONDS
--
-- Opens a session that session.lua made (with the state run.sh left in
-- it), adds a MIDI track "Notes" whose input is the Velmor track's MIDI
-- output, records from the session's start for SECONDS and saves: the take
-- is the track's region, its source a MIDI file in the session's folder.
local folder, name, seconds = arg[1], arg[2], tonumber(arg[3])

local function fail(why)
	print("record.lua: " .. why)
	os.exit(1)
end

-- The dummy backend runs its cycles ten times as fast as the clock: what
-- is recorded is the same, in a tenth of the time.
local speed = 10
local backend = AudioEngine:set_backend("None (Dummy)", "", "")
if backend:set_driver("10x Speed") ~= 0 then speed = 1 end
backend:set_device_name("Silence")
backend:set_sample_rate(44100)
if AudioEngine:start(false) ~= 0 then fail("the dummy backend does not start") end
local s = load_session(folder, name)
if not s then fail("no session " .. name .. " at " .. folder) end

local velmor = s:route_by_name("Velmor"):to_track()
if velmor:isnil() or velmor:output():n_ports():n_midi() ~= 1 then fail("the Velmor track has no MIDI output") end
local midi = ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1)
local notes = s:new_midi_track(midi, midi, true, ARDOUR.PluginInfo(), nil, nil, 1, "Notes", ARDOUR.PresentationInfo.max_order,
	ARDOUR.TrackMode.Normal, true):front()
notes:input():disconnect_all(nil)
if notes:input():connect(notes:input():midi(0), velmor:output():midi(0):name(), nil) ~= 0 then fail("cannot connect the tracks") end

notes:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
s:request_locate(0, false, ARDOUR.LocateTransportDisposition.MustStop, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(300000)
s:maybe_enable_record(false)
s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(math.floor(seconds * 1000000 / speed))
s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(300000)
notes:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)

s:save_state("", false, false, false, false, false)
close_session()
print("record.lua: " .. seconds .. " s of Velmor's MIDI output recorded in " .. folder .. " at " .. speed .. "x speed")
