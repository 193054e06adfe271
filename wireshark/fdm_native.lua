-- Wireshark dissector for FlightGear's native flight-dynamics packet:
-- version 17 (336 bytes, what the orvalink block sends) and version 24
-- (408 bytes, what current FlightGear reads), told apart by the version
-- word. Every field is big-endian. UDP port 5500 by default; any other port
-- through "Decode As...". Filter names: fdm.<field>, e.g. fdm.latitude.

local fdm = Proto("fdm", "FlightGear native flight-dynamics packet")

local VERSION17, SIZE17 = 17, 336
local VERSION24, SIZE24 = 24, 408

-- The one field table: filter name, label, encoding, unit, element count,
-- offset in version 17 and in version 24 (nil: not in that version).
-- "angle" adds the value in degrees beside the radians.
local fields = {
  { "version", "Version", "u32", nil, 1, 0, 0 },
  { "longitude", "Longitude", "f64", "rad", 1, 8, 8, angle = true },
  { "latitude", "Latitude", "f64", "rad", 1, 16, 16, angle = true },
  { "altitude", "Altitude", "f64", "m", 1, 24, 24 },
  { "height_above_ground", "Height above ground", "f32", "m", 1, 32, 32 },
  { "roll", "Roll", "f32", "rad", 1, 36, 36, angle = true },
  { "pitch", "Pitch", "f32", "rad", 1, 40, 40, angle = true },
  { "heading", "Heading", "f32", "rad", 1, 44, 44, angle = true },
  { "angle_of_attack", "Angle of attack", "f32", "rad", 1, 48, 48 },
  { "sideslip", "Sideslip", "f32", "rad", 1, 52, 52 },
  { "roll_rate", "Roll rate", "f32", "rad/s", 1, 56, 56 },
  { "pitch_rate", "Pitch rate", "f32", "rad/s", 1, 60, 60 },
  { "yaw_rate", "Yaw rate", "f32", "rad/s", 1, 64, 64 },
  { "calibrated_airspeed", "Calibrated airspeed", "f32", "kt", 1, 68, 68 },
  { "climb_rate", "Climb rate", "f32", "ft/s", 1, 72, 72 },
  { "velocity_north", "Velocity north", "f32", "ft/s", 1, 76, 76 },
  { "velocity_east", "Velocity east", "f32", "ft/s", 1, 80, 80 },
  { "velocity_down", "Velocity down", "f32", "ft/s", 1, 84, 84 },
  { "body_velocity", "Body velocity u, v, w", "f32", "ft/s", 3, 88, 88 },
  { "accel_x", "Acceleration x", "f32", "ft/s²", 1, 100, 100 },
  { "accel_y", "Acceleration y", "f32", "ft/s²", 1, 104, 104 },
  { "accel_z", "Acceleration z", "f32", "ft/s²", 1, 108, 108 },
  { "stall_warning", "Stall warning", "f32", "(0 to 1)", 1, 112, 112 },
  { "slip", "Slip", "f32", "deg", 1, 116, 116 },
  { "engine_count", "Number of engines", "u32", nil, 1, 120, 120 },
  { "engine_state", "Engine state", "state", nil, 4, 124, 124 },
  { "engine_rpm", "Engine speed", "f32", "rpm", 4, 140, 140 },
  { "fuel_flow", "Fuel flow", "f32", "gal/h", 4, 156, 156 },
  { "fuel_pressure", "Fuel pressure", "f32", "psi", 4, nil, 172 },
  { "exhaust_gas_temperature", "Exhaust gas temperature", "f32", "°F", 4, 172, 188 },
  { "cylinder_head_temperature", "Cylinder head temperature", "f32", "°F", 4, nil, 204 },
  { "manifold_pressure", "Manifold pressure", "f32", "inHg", 4, nil, 220 },
  { "turbine_inlet_temperature", "Turbine inlet temperature", "f32", "°F", 4, nil, 236 },
  { "oil_temperature", "Oil temperature", "f32", "°F", 4, 188, 252 },
  { "oil_pressure", "Oil pressure", "f32", "psi", 4, 204, 268 },
  { "tank_count", "Number of tanks", "u32", nil, 1, 220, 284 },
  { "fuel_quantity", "Fuel quantity", "f32", "gal", 4, 224, 288 },
  { "wheel_count", "Number of wheels", "u32", nil, 1, 240, 304 },
  -- One byte per wheel in version 17, one 32-bit word in version 24.
  { "weight_on_wheels", "Weight on wheels", "u32", nil, 3, 244, 308, width17 = 1 },
  { "gear_position", "Gear position", "f32", "(0 to 1)", 3, 248, 320 },
  { "gear_steering", "Gear steering", "f32", "normalised", 3, 260, 332 },
  { "gear_compression", "Gear compression", "f32", "normalised", 3, 272, 344 },
  { "current_time", "Current time", "u32", "s since 1970", 1, 284, 356 },
  { "warp", "Time offset", "i32", "s", 1, 288, 360 },
  { "visibility", "Visibility", "f32", "m", 1, 292, 364 },
  { "elevator", "Elevator", "f32", "normalised", 1, 296, 368 },
  { "elevator_trim_tab", "Elevator trim tab", "f32", "normalised", 1, 300, 372 },
  { "flaps", "Flaps", "f32", "normalised", 1, 304, nil },
  { "left_flap", "Left flap", "f32", "normalised", 1, nil, 376 },
  { "right_flap", "Right flap", "f32", "normalised", 1, nil, 380 },
  { "left_aileron", "Left aileron", "f32", "normalised", 1, 308, 384 },
  { "right_aileron", "Right aileron", "f32", "normalised", 1, 312, 388 },
  { "rudder", "Rudder", "f32", "normalised", 1, 316, 392 },
  { "nose_wheel", "Nose wheel", "f32", "normalised", 1, 320, 396 },
  { "speed_brake", "Speed brake", "f32", "normalised", 1, 324, 400 },
  { "spoilers", "Spoilers", "f32", "normalised", 1, 328, 404 },
}

local engineStates = { [0] = "off", [1] = "cranking", [2] = "running" }

local makers = {
  u32 = function(abbr, label) return ProtoField.uint32(abbr, label, base.DEC) end,
  i32 = function(abbr, label) return ProtoField.int32(abbr, label, base.DEC) end,
  f32 = function(abbr, label) return ProtoField.float(abbr, label) end,
  f64 = function(abbr, label) return ProtoField.double(abbr, label) end,
  state = function(abbr, label) return ProtoField.uint32(abbr, label, base.DEC, engineStates) end,
}
local widths = { u32 = 4, i32 = 4, f32 = 4, f64 = 8, state = 4 }

for _, f in ipairs(fields) do
  local name, label, encoding, unit = f[1], f[2], f[3], f[4]
  f.field = makers[encoding]("fdm." .. name, unit and (label .. " (" .. unit .. ")") or label)
  fdm.fields[#fdm.fields + 1] = f.field
  if f.angle then
    f.degrees = ProtoField.double("fdm." .. name .. "_deg", label .. " (deg)")
    fdm.fields[#fdm.fields + 1] = f.degrees
  end
end

local malformed = ProtoExpert.new("fdm.malformed", "Malformed flight-dynamics datagram",
                                  expert.group.MALFORMED, expert.severity.ERROR)
fdm.experts = { malformed }

-- The packet's version when it is well formed, else nil and what is wrong.
local function recognise(buffer)
  local length = buffer:len()
  if length < 4 then
    return nil, length .. " bytes: too short for a version word"
  end
  local version = buffer(0, 4):uint()
  if version == VERSION17 and length == SIZE17 then return 17 end
  if version == VERSION24 and length == SIZE24 then return 24 end
  local swapped = buffer(0, 4):le_uint()
  if swapped == VERSION17 or swapped == VERSION24 then
    return nil, length .. " bytes: version word reads " .. swapped .. " only byte-swapped (sender in the wrong byte order)"
  end
  if version == VERSION17 or version == VERSION24 then
    return nil, length .. " bytes: version " .. version .. " needs " .. (version == VERSION17 and SIZE17 or SIZE24)
  end
  return nil, length .. " bytes: unknown version " .. version
end

function fdm.dissector(buffer, pinfo, tree)
  pinfo.cols.protocol = "FDM"
  local version, problem = recognise(buffer)
  local root = tree:add(fdm, buffer())
  if not version then
    root:add_proto_expert_info(malformed, problem)
    pinfo.cols.info = "Malformed: " .. problem
    return buffer:len()
  end
  root:append_text(", version " .. version)
  for _, f in ipairs(fields) do
    local offset, width = f[7], widths[f[3]]
    if version == 17 then
      offset, width = f[6], f.width17 or width
    end
    if offset then
      local parent = root
      if f[5] > 1 then
        parent = root:add(buffer(offset, width * f[5]), f[2] .. " [" .. f[5] .. "]")
      end
      for i = 0, f[5] - 1 do
        local range = buffer(offset + i * width, width)
        parent:add(f.field, range)
        if f.degrees then
          parent:add(f.degrees, range, math.deg(range:float())):set_generated()
        end
      end
    end
  end
  pinfo.cols.info = string.format("Version %d, latitude %.6f, longitude %.6f, altitude %.1f m", version,
                                  math.deg(buffer(16, 8):float()), math.deg(buffer(8, 8):float()), buffer(24, 8):float())
  return buffer:len()
end

local udp = DissectorTable.get("udp.port")
udp:add(5500, fdm)
udp:add_for_decode_as(fdm)
