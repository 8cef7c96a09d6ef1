// Shows the target temperature as the slider moves.
const target = document.getElementById("target");
target.addEventListener("input", () => {
  document.getElementById("set").textContent = target.value;
});
