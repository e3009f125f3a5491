-- wrk script for scripts/load: one path, an expected HTTP status and an expected start of the
-- body; every answer that differs is counted, and the run fails if any does.
--   wrk ... -s scripts/load.lua URL -- <path> <status> <body prefix> [header: value]
local threads = {}

function setup(thread)
  table.insert(threads, thread)
end

function init(args)
  path, want_status, want_prefix = args[1], tonumber(args[2]), args[3]
  if args[4] then
    local name, value = args[4]:match("^([^:]+):%s*(.*)$")
    wrk.headers[name] = value
  end
  answers, mismatches, first_mismatch = 0, 0, nil
end

function request()
  return wrk.format("GET", path)
end

function response(status, headers, body)
  answers = answers + 1
  if status ~= want_status or body:sub(1, #want_prefix) ~= want_prefix then
    mismatches = mismatches + 1
    first_mismatch = first_mismatch or (status .. " " .. body:sub(1, 120))
  end
end

function done(summary, latency, requests)
  local answers_total, mismatches_total, example = 0, 0, nil
  for _, thread in ipairs(threads) do
    answers_total = answers_total + thread:get("answers")
    mismatches_total = mismatches_total + thread:get("mismatches")
    example = example or thread:get("first_mismatch")
  end
  local e = summary.errors
  local socket_errors = e.connect + e.read + e.write + e.timeout
  io.write(string.format(
    "RESULT answers=%d unexpected=%d socket_errors=%d rps=%.1f p50_ms=%.2f p99_ms=%.2f max_ms=%.2f\n",
    answers_total, mismatches_total, socket_errors,
    summary.requests / (summary.duration / 1e6),
    latency:percentile(50) / 1000, latency:percentile(99) / 1000, latency.max / 1000))
  if example then io.write("first unexpected answer: " .. example .. "\n") end
end
