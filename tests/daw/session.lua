-- Makes an Ardour session as a user would, headless: ardour7-lua session.lua PLAN.lua
--
-- The plan (written by daw.py plan) names the session's folder and name,
-- the tempo (bpm), the plugin (format "lv2" or "vst3"), a preset to load,
-- parameters by name, the session's length in frames (frames) and,
-- optionally, the notes of a MIDI file (ppqn, notes = {channel, start,
-- length, key, velocity}...). One MIDI track plays the plugin; the notes go
-- into a MIDI region from the start of the session. Ardour's Lua has no call
-- that makes a MIDI region: a take recorded from Ardour's on-screen keyboard
-- port gives the track its region, and the notes replace the take's in the
-- region's model.
local plan = dofile(arg[1])

local function fail(why)
	print("session.lua: " .. why)
	os.exit(1)
end

local backend = AudioEngine:set_backend("None (Dummy)", "", "")
backend:set_device_name("Silence")
backend:set_sample_rate(44100)
if AudioEngine:start(false) ~= 0 then fail("the dummy backend does not start") end

local s = create_session(plan.folder, plan.name, 44100)
if not s then fail("no session at " .. plan.folder) end

local tm = Temporal.TempoMap.write_copy()
tm:set_tempo(Temporal.Tempo(plan.bpm, plan.bpm, 4), Temporal.timepos_t(0))
Temporal.TempoMap.update(tm)

local track = s:new_midi_track(ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1), ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2),
	true, ARDOUR.PluginInfo(), nil, nil, 1, "Velmor", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true):front()

local proc
if plan.format == "vst3" then
	proc = ARDOUR.LuaAPI.new_plugin(s, "Velmor", ARDOUR.PluginType.VST3, "")
else
	proc = ARDOUR.LuaAPI.new_plugin(s, "urn:velmor:velmor", ARDOUR.PluginType.LV2, "")
end
if proc:isnil() then fail("no " .. plan.format .. " plugin named Velmor") end
track:add_processor_by_index(proc, 0, nil, true)
local plugin = proc:to_insert():plugin(0)

if plan.preset then
	local preset = plugin:preset_by_label(plan.preset)
	if not preset or not plugin:load_preset(preset) then fail("no preset " .. plan.preset) end
end

for name, value in pairs(plan.params) do
	local set = false
	for i = 0, plugin:parameter_count() - 1 do
		local id = plugin:nth_parameter(i, true)
		if plugin:parameter_is_input(id) and plugin:parameter_label(id) == name then
			set = ARDOUR.LuaAPI.set_processor_param(proc, i, value)
		end
	end
	if not set then fail("no parameter " .. name) end
end

-- A take of one key from the on-screen keyboard's port gives the track a
-- region, and the session its range.
local keyboard = AudioEngine:get_port_by_name("x-virtual-keyboard"):to_asyncmidiport()
track:input():disconnect_all(nil)
track:input():connect(track:input():midi(0), "x-virtual-keyboard", nil)
track:rec_enable_control():set_value(1, PBD.GroupControlDisposition.NoGroup)
s:maybe_enable_record(false)
s:request_roll(ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(200000)
for _, bytes in ipairs({{0x90, 60, 100}, {0x80, 60, 0}}) do
	local message = C.ByteVector()
	message:add(bytes)
	keyboard:write(message:to_array(), 3, 0)
	ARDOUR.LuaAPI.usleep(100000)
end
s:request_stop(false, false, ARDOUR.TransportRequestSource.TRS_UI)
ARDOUR.LuaAPI.usleep(300000)
track:rec_enable_control():set_value(0, PBD.GroupControlDisposition.NoGroup)
track:input():disconnect_all(nil)

-- The region's notes become the plan's (none without a MIDI file).
local region
for r in track:playlist():region_list():iter() do region = r end
if not region then fail("the take made no region") end
local model = region:to_midiregion():midi_source(0):model()
local edit = model:new_note_diff_command("notes of the file")
for note in ARDOUR.LuaAPI.note_list(model):iter() do edit:remove(note) end
for _, n in ipairs(plan.notes or {}) do
	local function beats(t) return Temporal.Beats(t // plan.ppqn, (t % plan.ppqn) * (1920 // plan.ppqn)) end
	edit:add(ARDOUR.LuaAPI.new_noteptr(n[1], beats(n[2]), beats(n[3]), n[4], n[5]))
end
model:apply_command(s, edit)
region:set_position(Temporal.timepos_t(0))
region:set_length(Temporal.timecnt_t(plan.frames))
s:locations():session_range_location():set(Temporal.timepos_t(0), Temporal.timepos_t(plan.frames))

s:save_state("", false, false, false, false, false)
close_session()
print("session.lua: " .. plan.folder .. " saved")
