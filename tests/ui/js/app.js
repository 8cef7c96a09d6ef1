// Fills the page, so that a script that did not run shows.
const readings = `set point   21.5
    measured  20.0
        heater    on`;

document.getElementById("state").textContent = "the script ran";
const pre = document.createElement("pre");
pre.className = "readings";
pre.textContent = readings;
document.body.appendChild(pre);
