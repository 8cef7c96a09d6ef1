const char settings_html[] PROGMEM = R"html(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Settings</title>
</head>
<body>
<h1>Wi-Fi settings</h1>
<form id="wifi">
<label>Network <input name="ssid" maxlength="32"></label>
<label>Password <input name="pass" type="password" maxlength="64"></label>
<button type="button" onclick="save()">Save</button>
<button type="button" onclick="location.href='/status'">Back</button>
</form>
<p id="msg"></p>
<script>
function save() {
const form = new FormData(document.getElementById("wifi"));
fetch("/save", { method: "POST", body: new URLSearchParams(form) })
.then(r => r.text())
.then(t => document.getElementById("msg").textContent = t);
}
</script>
</body>
</html>
)html";
const char status_html[] PROGMEM = R"(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<meta http-equiv="refresh" content="10">
<title>Status</title>
</head>
<body>
<h1>Status</h1>
<table>
<tr><td>Uptime</td><td>%UPTIME%</td></tr>
<tr><td>Free heap</td><td>%HEAP% bytes</td></tr>
<tr><td>Temperature</td><td>%TEMP% °C</td></tr>
</table>
<a href="/settings">Settings</a>
</body>
</html>
)";
